// Placeholder clipboard: nothing can be set, nothing is there.
#include "input/clipboard.h"

#include "bridge/args.h"

namespace tsm::input {
namespace {
constexpr const char* checkModule = "gfx";
}

napi_value copy(napi_env env, napi_callback_info info) {
  bridge::firstArg(env, info, checkModule);
  return bridge::makeInt32(env, -1, checkModule);
}

napi_value paste(napi_env env, napi_callback_info) {
  napi_value result;
  napi_status status = napi_create_string_utf8(env, "", 0, &result);
  CHECK(status == napi_ok);
  return result;
}
}  // namespace tsm::input
