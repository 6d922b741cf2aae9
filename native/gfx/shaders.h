// The shader registry's host functions. The tables and programs are gfx/shaderregistry.
#pragma once
#include <node_api.h>

#include "gfx/shaderregistry.h"

namespace tsm::gfx {
// Host function: compileShader(name, isVertex, source) → 0. Copies both strings into the arena and
// compiles; compile errors are only reported by checkShaders. A repeated name in one stage is fatal.
napi_value compileShader(napi_env env, napi_callback_info info);
// Host function: checkShaders() → 0 when every registered shader compiled, 1 when any did not
// (one standard-error line per failed shader, on every call).
napi_value checkShaders(napi_env env, napi_callback_info info);
}  // namespace tsm::gfx
