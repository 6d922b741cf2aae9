// Placeholder shader registry: accepts sources, compiles nothing.
#include "gfx/shaders.h"

#include "bridge/args.h"

namespace tsm::gfx {
namespace {
constexpr const char* checkModule = "gfx";
}

napi_value compileShader(napi_env env, napi_callback_info info) {
  bridge::Args<3> args(env, info, checkModule);
  return bridge::makeInt32(env, 0, checkModule);
}

napi_value checkShaders(napi_env env, napi_callback_info) { return bridge::makeInt32(env, 0, checkModule); }
}  // namespace tsm::gfx
