// The command stream's effects: each opcode dispatched to its subsystem. The walk itself, with its
// word conversions and bounds, is bridge/core/commandstream. Allocates nothing.
#include "bridge/commands.h"

#include <cstdio>

#include "audio/audio.h"
#include "bridge/args.h"
#include "bridge/buffers.h"
#include "bridge/core/commandstream.h"
#include "base/words.h"
#include "gfx/meshes.h"
#include "gfx/window.h"
#include "text/text.h"

namespace tsm::bridge {
namespace {
constexpr const char* checkModule = "native";

// Command 9: the bytes of STRING_BUFFER in [offset, offset + length), clipped to the block.
double logText(uint32_t offset, int32_t length) {
  const uint64_t size = blockBytes(STRING_BUFFER);
  if (length <= 0 || offset >= size) return 0;
  const uint64_t available = size - offset;
  const int count = static_cast<uint64_t>(length) < available ? length : static_cast<int>(available);
  std::printf("%.*s", count, reinterpret_cast<const char*>(buffers[STRING_BUFFER] + offset));
  std::fflush(stdout);
  return 0;
}

double execute(int32_t opcode, const double* w) {
  switch (opcode) {
    case OP_PLAY_SOUND: {
      const float position[3] = {wordToFloat(w[3]), wordToFloat(w[4]), wordToFloat(w[5])};
      return audio::playSound(static_cast<uint32_t>(wordToInt(w[0])) & 0xFF, wordToFloat(w[1]), wordToFloat(w[2]),
                              position);
    }
    case OP_PAUSE_SOURCE: return audio::pauseSource(wordToInt(w[0]));
    case OP_STOP_SOURCE: return audio::stopSource(wordToInt(w[0]));
    case OP_SET_SOURCE_GAIN: return audio::setSourceGain(wordToInt(w[0]), wordToFloat(w[1]));
    case OP_STOP_ALL: return audio::stopAll();
    case OP_PAUSE_ALL: return audio::pauseAll();
    case OP_RESUME_ALL: return audio::resumeAll();
    case OP_TOGGLE_FULLSCREEN: return gfx::toggleFullscreen();
    case OP_LOG_TEXT: return logText(wordToLowU32(w[0]), wordToInt(w[1]));
    case OP_LAYOUT_TEXT:
      return text::layoutTextCommand(wordToLowU32(w[0]), wordToInt64(w[1]), wordToFloat(w[2]), wordToFloat(w[3]),
                                     wordToFloat(w[4]), static_cast<uint16_t>(wordToInt(w[5])), wordToLowU32(w[6]));
    case OP_TEXT_COLOR: {
      const float rgba[4] = {wordToFloat(w[0]), wordToFloat(w[1]), wordToFloat(w[2]), wordToFloat(w[3])};
      text::setTextColor(rgba);
      return 0;
    }
    // Extensions.
    case OP_LISTENER: {
      const float position[3] = {wordToFloat(w[0]), wordToFloat(w[1]), wordToFloat(w[2])};
      const float forward[3] = {wordToFloat(w[3]), wordToFloat(w[4]), wordToFloat(w[5])};
      return audio::setListener(position, forward);
    }
    case OP_LISTENER_UP: {
      const float up[3] = {wordToFloat(w[0]), wordToFloat(w[1]), wordToFloat(w[2])};
      return audio::setListenerUp(up);
    }
    case OP_PLAY_SOUND_AT: {
      const float position[3] = {wordToFloat(w[3]), wordToFloat(w[4]), wordToFloat(w[5])};
      return audio::playSoundAt(static_cast<uint32_t>(wordToInt(w[0])) & 0xFF, wordToFloat(w[1]), wordToFloat(w[2]),
                                position);
    }
    case OP_DRAW_MESHES: return gfx::drawMeshes(w[0], w[1], w[2], w[3]);
    default: return 0;
  }
}
}  // namespace

napi_value tick(napi_env env, napi_callback_info) {
  audio::streamAudio();
  audio::reclaimSources();
  text::resetGlyphBatches();
  gfx::beginMeshTick();
  const int32_t count = static_cast<int32_t>(lenBuffer(COMMAND_BUFFER));
  walkCommandStream(blockData(COMMAND_BUFFER), blockBytes(COMMAND_BUFFER), count, blockData(RESULT_BUFFER),
                    blockBytes(RESULT_BUFFER), execute);
  return makeInt32(env, 0, checkModule);
}
}  // namespace tsm::bridge
