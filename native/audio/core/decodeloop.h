// The decode loop of sound loading: repeated reads from a decoder into one PCM block, with the
// decoder's error codes handled as the loader wants (logged and read past, or ending the loop), and
// a block that grows for a stream whose length is not known. Pure: the decoder is a read function
// supplied by the sound loader (the Vorbis decoder there; a scripted one in the unit tests).
#pragma once
#include <cstdint>

namespace tsm::audio {
// One read of the decoder: at most `length` bytes at `out`. Returns the bytes written (> 0), 0 at
// the end of the stream, or a negative error code; sets `section` to the logical bitstream read.
using StreamRead = long (*)(void* context, uint8_t* out, int32_t length, int* section);

// The decoder's code for a request it cannot serve (no room for a frame, nothing open): ends the loop.
constexpr long STREAM_EINVAL = -131;
// Errors in a row after which a stream is given up: a decoder that keeps failing without
// advancing would otherwise hold the host forever.
constexpr uint32_t MAX_STREAM_ERRORS_IN_A_ROW = 64;
// First block of a stream whose length is not known, in bytes; it doubles from there.
constexpr uint64_t STREAM_START_BYTES = uint64_t{1} << 20;
// Free bytes a growing block keeps before each read: room for one frame of any channel count.
constexpr uint64_t STREAM_MIN_READ_BYTES = 4096;

// `data` holds `capacity` bytes the loop may fill; `used` of them are filled. A growable block is
// owned by malloc/realloc and may be replaced.
struct PcmBlock {
  uint8_t* data;
  uint64_t capacity;
  uint64_t used;
};

enum class DecodeEnd {
  END_OF_STREAM,    // the decoder read 0
  BLOCK_FULL,       // a fixed block has no room left
  INVALID,          // the decoder answered STREAM_EINVAL
  TOO_MANY_ERRORS,  // MAX_STREAM_ERRORS_IN_A_ROW errors without data between them
  TOO_LARGE,        // a growing block would pass MAX_SOUND_BYTES
  OUT_OF_MEMORY,    // a growing block could not be reallocated
};

// Capacity after `capacity` for a growing block: doubled, at least STREAM_START_BYTES, at most
// MAX_SOUND_BYTES. Equal to `capacity` when it cannot grow.
uint64_t grownCapacity(uint64_t capacity);

// Reads until the stream ends. Every other negative code is logged to standard error as
// " !Error encountered in stream: %ld (section %i)\n" and the loop reads again. `section` is the
// decoder's, updated by each read. The first two ends keep what was read; so do the others, but the
// caller decides whether the partial sound is used (the last two refuse it).
DecodeEnd decodeStream(StreamRead read, void* context, PcmBlock& block, bool growable, int& section);
}  // namespace tsm::audio
