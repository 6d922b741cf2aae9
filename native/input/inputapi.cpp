// The input subsystem's host functions: argument checks and conversions, then the plain calls of the
// USB adapter (input/usb), the clipboard (input/clipboard) and the event pump (input/events).
// Callers: the host; pollUSB once per step, the rest any time after module start-up.
//
// The adapter's and the extension exports' checks report module "native", the clipboard's "gfx".
//
// Sections: USB adapter | clipboard | events
#include "input/inputapi.h"

#include <cstdlib>

#include "base/check.h"
#include "bridge/args.h"
#include "input/clipboard.h"
#include "input/events.h"
#include "input/usb.h"

namespace tsm::input {
namespace {
constexpr const char* adapterModule = "native";
constexpr const char* clipboardModule = "gfx";
constexpr const char* extensionModule = "native";
}  // namespace

// --- USB adapter --------------------------------------------------------------------------------

napi_value pollUSB(napi_env env, napi_callback_info) {
  readAdapter();
  return bridge::makeInt32(env, 0, adapterModule);
}

// --- clipboard ----------------------------------------------------------------------------------

napi_value copy(napi_env env, napi_callback_info info) {
  napi_value value = bridge::firstArg(env, info, clipboardModule);
  const size_t length = bridge::utf8Length(env, value, clipboardModule);
  char* text = static_cast<char*>(std::malloc(length + 1));
  CHECK_IN(clipboardModule, text && "Unable to allocate string");
  bridge::toUtf8(env, value, text, length + 1, clipboardModule);
  const int32_t result = copyText(text);
  std::free(text);
  return bridge::makeInt32(env, result, clipboardModule);
}

napi_value paste(napi_env env, napi_callback_info) {
  char* text = pasteText();
  napi_value result = bridge::makeString(env, text ? text : "", CHECK_TEXT(status == napi_ok), clipboardModule);
  if (text) freePastedText(text);
  return result;
}

// --- events -------------------------------------------------------------------------------------

napi_value enableEvent(napi_env env, napi_callback_info info) {
  bridge::Args<2> args(env, info, extensionModule);
  const double type = bridge::toNumber(env, args[0], extensionModule);
  const bool on = bridge::toBool(env, args[1], extensionModule);
  const int32_t known = type >= 0.0 && type <= 65535.0 ? enableRecord(static_cast<uint16_t>(type), on) : 0;
  return bridge::makeInt32(env, known, extensionModule);
}
}  // namespace tsm::input
