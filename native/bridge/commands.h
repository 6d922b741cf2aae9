// The per-step command stream: `tick` reclaims sources, empties the glyph batches and runs the
// host's commands from COMMAND_BUFFER, one result per command into RESULT_BUFFER.
#pragma once
#include <node_api.h>

namespace tsm::bridge {
// Host function.
napi_value tick(napi_env env, napi_callback_info info);
}  // namespace tsm::bridge
