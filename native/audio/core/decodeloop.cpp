// The decode loop. See decodeloop.h.
#include "audio/core/decodeloop.h"

#include <cstdlib>

#include "audio/core/pcm.h"
#include "base/log.h"

namespace tsm::audio {
uint64_t grownCapacity(uint64_t capacity) {
  uint64_t next = capacity < STREAM_START_BYTES ? STREAM_START_BYTES : capacity * 2;
  if (next > MAX_SOUND_BYTES) next = MAX_SOUND_BYTES;
  return next < capacity ? capacity : next;
}

DecodeEnd decodeStream(StreamRead read, void* context, PcmBlock& block, bool growable, int& section) {
  uint32_t errorsInARow = 0;
  for (;;) {
    if (growable && block.capacity - block.used < STREAM_MIN_READ_BYTES) {
      const uint64_t next = grownCapacity(block.capacity);
      if (next == block.capacity) return DecodeEnd::TOO_LARGE;
      auto* grown = static_cast<uint8_t*>(std::realloc(block.data, next));
      if (!grown) return DecodeEnd::OUT_OF_MEMORY;
      block.data = grown;
      block.capacity = next;
    }
    const uint64_t room = block.capacity - block.used;
    if (room == 0) return DecodeEnd::BLOCK_FULL;
    // MAX_SOUND_BYTES keeps every block, and so every request, inside the decoder's 32-bit length.
    const long n = read(context, block.data + block.used, static_cast<int32_t>(room), &section);
    if (n > 0) {
      block.used += static_cast<uint64_t>(n) < room ? static_cast<uint64_t>(n) : room;
      errorsInARow = 0;
    } else if (n == 0) {
      return DecodeEnd::END_OF_STREAM;
    } else if (n == STREAM_EINVAL) {
      return DecodeEnd::INVALID;
    } else {
      logError(" !Error encountered in stream: %ld (section %i)\n", n, section);
      if (++errorsInARow >= MAX_STREAM_ERRORS_IN_A_ROW) return DecodeEnd::TOO_MANY_ERRORS;
    }
  }
}
}  // namespace tsm::audio
