// The system clipboard through SDL: the host functions copy and paste. Owns nothing; SDL keeps the
// clipboard's content and answers other programs' requests for it only while the host pumps
// events (`poll`). Callers: the host, any time after module start-up.
#include "input/clipboard.h"

#include <SDL.h>

#include <cstdlib>

#include "bridge/args.h"
#include "base/check.h"

namespace tsm::input {
namespace {
constexpr const char* checkModule = "gfx";
}

napi_value copy(napi_env env, napi_callback_info info) {
  napi_value value = bridge::firstArg(env, info, checkModule);
  const size_t length = bridge::utf8Length(env, value, checkModule);
  char* text = static_cast<char*>(std::malloc(length + 1));
  CHECK(text && "Unable to allocate string");
  bridge::toUtf8(env, value, text, length + 1, checkModule);
  const int32_t result = SDL_SetClipboardText(text);
  std::free(text);
  return bridge::makeInt32(env, result, checkModule);
}

napi_value paste(napi_env env, napi_callback_info) {
  napi_value result;
  napi_status status;
  char* text = SDL_HasClipboardText() ? SDL_GetClipboardText() : nullptr;
  if (text) {
    status = napi_create_string_utf8(env, text, NAPI_AUTO_LENGTH, &result);
    SDL_free(text);
  } else {
    status = napi_create_string_utf8(env, "", 0, &result);
  }
  CHECK(status == napi_ok);
  return result;
}
}  // namespace tsm::input
