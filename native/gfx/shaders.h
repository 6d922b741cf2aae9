// The shader registry: sources compiled by name and stage, programs linked on request.
#pragma once
#include <node_api.h>

namespace tsm::gfx {
// Host functions.
napi_value compileShader(napi_env env, napi_callback_info info);
napi_value checkShaders(napi_env env, napi_callback_info info);
}  // namespace tsm::gfx
