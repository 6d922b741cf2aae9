// Placeholder quality settings: arguments are checked, nothing is stored.
#include "gfx/quality.h"

#include "bridge/args.h"

namespace tsm::gfx {
namespace {
constexpr const char* checkModule = "gfx";
}

napi_value setShadowQuality(napi_env env, napi_callback_info info) {
  bridge::singleArg(env, info, checkModule);
  return bridge::makeUndefined(env, checkModule);
}

napi_value setSsaoQuality(napi_env env, napi_callback_info info) {
  bridge::singleArg(env, info, checkModule);
  return bridge::makeUndefined(env, checkModule);
}

napi_value setAntialias(napi_env env, napi_callback_info info) {
  bridge::singleArg(env, info, checkModule);
  return bridge::makeUndefined(env, checkModule);
}
}  // namespace tsm::gfx
