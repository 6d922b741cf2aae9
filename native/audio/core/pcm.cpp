// Format choice, block sizing and channel conversion. See pcm.h.
#include "audio/core/pcm.h"

#include <cstring>

namespace tsm::audio {
int32_t chooseFormat(uint32_t wordSize, uint32_t channels) {
  if (wordSize == 1 && channels == 1) return FORMAT_MONO8;
  if (wordSize == 1 && channels == 2) return FORMAT_STEREO8;
  if (wordSize == 2 && channels == 1) return FORMAT_MONO16;
  if (wordSize == 2 && channels == 2) return FORMAT_STEREO16;
  return 0;
}

uint64_t soundBlockBytes(int64_t frames, uint32_t fileChannels, uint32_t channels, uint32_t wordSize) {
  if (frames < 0 || fileChannels == 0 || channels == 0 || wordSize == 0) return 0;
  const uint64_t widest = fileChannels > channels ? fileChannels : channels;
  const uint64_t frameBytes = widest * wordSize;
  if (static_cast<uint64_t>(frames) > MAX_SOUND_BYTES / frameBytes) return 0;
  const uint64_t bytes = static_cast<uint64_t>(frames) * frameBytes;
  return bytes < MIN_SOUND_BLOCK_BYTES ? MIN_SOUND_BLOCK_BYTES : bytes;
}

uint64_t convertFrames(const uint8_t* in, uint64_t bytes, uint8_t* out, uint32_t fileChannels, uint32_t channels,
                       uint32_t wordSize) {
  if (fileChannels == 0 || channels == 0 || wordSize == 0) return 0;
  const uint64_t inFrame = uint64_t{fileChannels} * wordSize;
  const uint64_t frames = bytes / inFrame;
  // The two shapes sound loading meets, written out so they compile to plain loads and stores.
  if (wordSize == 2 && channels == 1) {
    for (uint64_t f = 0; f < frames; ++f) std::memcpy(out + f * 2, in + f * inFrame, 2);
  } else if (wordSize == 2 && channels == 2 && fileChannels == 1) {
    for (uint64_t f = 0; f < frames; ++f) {
      std::memcpy(out + f * 4, in + f * 2, 2);
      std::memcpy(out + f * 4 + 2, in + f * 2, 2);
    }
  } else {
    for (uint64_t f = 0; f < frames; ++f) {
      for (uint32_t c = 0; c < channels; ++c) {
        const uint32_t from = c < fileChannels ? c : 0;
        std::memcpy(out + (f * channels + c) * wordSize, in + f * inFrame + uint64_t{from} * wordSize, wordSize);
      }
    }
  }
  return frames * channels * wordSize;
}
}  // namespace tsm::audio
