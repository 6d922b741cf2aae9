// The host's table of shared-buffer ids for uniforms and vertex data.
#pragma once
#include <node_api.h>

namespace tsm::gfx {
// Host function.
napi_value setBuffers(napi_env env, napi_callback_info info);
}  // namespace tsm::gfx
