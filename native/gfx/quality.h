// Quality settings of the renderer, changed by the host between frames.
#pragma once
#include <node_api.h>

namespace tsm::gfx {
// Host functions.
napi_value setShadowQuality(napi_env env, napi_callback_info info);
napi_value setSsaoQuality(napi_env env, napi_callback_info info);
napi_value setAntialias(napi_env env, napi_callback_info info);
}  // namespace tsm::gfx
