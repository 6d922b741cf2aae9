// The system clipboard, through SDL.
#pragma once
#include <node_api.h>

namespace tsm::input {
// Host functions.
napi_value copy(napi_env env, napi_callback_info info);
napi_value paste(napi_env env, napi_callback_info info);
}  // namespace tsm::input
