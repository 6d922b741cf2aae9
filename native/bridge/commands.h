// The per-step command stream.
#pragma once
#include <node_api.h>

namespace tsm::bridge {
// Host function tick() → 0. Before it runs the host's commands it does the step's own upkeep, in
// this order: refills the streaming music and returns finished world-positioned sources to
// listener-relative (audio::streamAudio), returns finished sources to the pool
// (audio::reclaimSources) and empties both glyph batches (text::resetGlyphBatches). Then it runs
// the commands of COMMAND_BUFFER, one result per command into RESULT_BUFFER.
napi_value tick(napi_env env, napi_callback_info info);
}  // namespace tsm::bridge
