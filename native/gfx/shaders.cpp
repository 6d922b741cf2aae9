// The shader registry's host functions: compileShader copies the host's strings into the arena and
// registers the shader; checkShaders reports the entries that failed. The tables, compiling and
// programs are gfx/shaderregistry. Callers: the host, before `ready`.
#include "gfx/shaders.h"

#include "bridge/args.h"
#include "base/check.h"
#include "gfx/window.h"

namespace tsm::gfx {
namespace {
constexpr const char* checkModule = "gfx";

// Copies a host string into the arena with its terminator; the host API cuts a longer string to
// the room left.
const char* storeString(napi_env env, napi_value value) {
  const size_t copied = bridge::toUtf8(env, value, shaderArenaTail(), shaderArenaRoom(), checkModule);
  return commitShaderString(copied);
}
}  // namespace

napi_value compileShader(napi_env env, napi_callback_info info) {
  bridge::Args<3> args(env, info, checkModule);
  // After quit there is no context to compile in: the arguments are checked and nothing is kept.
  if (glClosed()) {
    bridge::utf8Length(env, args[0], checkModule);
    bridge::toBool(env, args[1], checkModule);
    bridge::utf8Length(env, args[2], checkModule);
    return bridge::makeInt32(env, 0, checkModule);
  }
  const char* name = storeString(env, args[0]);
  const bool isVertex = bridge::toBool(env, args[1], checkModule);
  const char* source = storeString(env, args[2]);
  registerShader(name, isVertex, source);
  return bridge::makeInt32(env, 0, checkModule);
}

napi_value checkShaders(napi_env env, napi_callback_info) {
  return bridge::makeInt32(env, checkShaderEntries(!glClosed()), checkModule);
}
}  // namespace tsm::gfx
