// Fuzz target: PCM shaping. Block sizing over every 64-bit frame count and channel and word sizes
// (never overflowing, never below the minimum, never above the limit, never smaller than what the
// frames need); and channel conversion, both as the sound loader drives it (frames decoded from up
// to 8 channels into 1 or 2) and with arbitrary byte counts and channel counts, against a reference
// conversion. Output blocks are allocated to their exact size.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "audio/core/pcm.h"
#include "fuzzlog.h"

using namespace tsm::audio;

namespace {
// Largest input block a conversion case takes, and most channels it converts to.
constexpr uint64_t MAX_CASE_BLOCK = 1 << 14;
constexpr uint32_t MAX_CASE_CHANNELS = 8;

// What convertFrames must write for `src`: its whole frames, channel c of each taken from the
// file's channel c or, where the file has none, its first; nothing for a zero count or size.
std::vector<uint8_t> referenceFrames(const std::vector<uint8_t>& src, uint32_t fileChannels, uint32_t channels,
                                     uint32_t wordSize) {
  std::vector<uint8_t> out;
  if (fileChannels == 0 || channels == 0 || wordSize == 0) return out;
  const uint64_t inFrame = uint64_t{fileChannels} * wordSize;
  const uint64_t frames = src.size() / inFrame;
  for (uint64_t f = 0; f < frames; ++f) {
    for (uint32_t c = 0; c < channels; ++c) {
      const uint32_t from = c < fileChannels ? c : 0;
      for (uint32_t b = 0; b < wordSize; ++b) out.push_back(src[f * inFrame + from * wordSize + b]);
    }
  }
  return out;
}

// Converts `bytes` of input into a block allocated to exactly the reference's size, so that a write
// past the converted frames is caught by the sanitizer.
void checkConversion(FuzzedDataProvider& in, uint64_t bytes, uint32_t fileChannels, uint32_t channels,
                     uint32_t wordSize) {
  std::vector<uint8_t> src = in.ConsumeBytes<uint8_t>(bytes);
  src.resize(bytes, 0x5A);
  const std::vector<uint8_t> expected = referenceFrames(src, fileChannels, channels, wordSize);
  uint8_t* out = static_cast<uint8_t*>(std::malloc(expected.size() ? expected.size() : 1));
  const uint64_t result = convertFrames(src.data(), bytes, out, fileChannels, channels, wordSize);
  FUZZ_REQUIRE(result == expected.size());
  FUZZ_REQUIRE(result == 0 || std::memcmp(out, expected.data(), result) == 0);
  std::free(out);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);

  // Format choice.
  const uint32_t ws = in.ConsumeIntegralInRange<uint32_t>(0, 3), ch = in.ConsumeIntegralInRange<uint32_t>(0, 3);
  const int32_t format = chooseFormat(ws, ch);
  const bool pair = (ws == 1 || ws == 2) && (ch == 1 || ch == 2);
  FUZZ_REQUIRE(pair ? (format >= FORMAT_MONO8 && format <= FORMAT_STEREO16) : format == 0);
  if (pair) FUZZ_REQUIRE(((format - FORMAT_MONO8) & 1) == (ws == 2) && ((format - FORMAT_MONO8) >> 1) == (ch == 2));

  // Block sizing over the whole range.
  {
    const int64_t frames = in.ConsumeBool() ? in.ConsumeIntegral<int64_t>() : in.ConsumeIntegralInRange<int64_t>(-2, 1 << 28);
    const uint32_t fc = in.ConsumeBool() ? in.ConsumeIntegral<uint32_t>() : in.ConsumeIntegralInRange<uint32_t>(0, 9);
    const uint32_t c = in.ConsumeIntegralInRange<uint32_t>(0, 3);
    const uint32_t w = in.ConsumeBool() ? in.ConsumeIntegral<uint32_t>() : in.ConsumeIntegralInRange<uint32_t>(0, 3);
    const uint64_t bytes = soundBlockBytes(frames, fc, c, w);
    const unsigned __int128 need =
        frames < 0 ? 0 : static_cast<unsigned __int128>(frames) * (fc > c ? fc : c) * static_cast<unsigned __int128>(w);
    if (frames < 0 || fc == 0 || c == 0 || w == 0 || need > MAX_SOUND_BYTES) {
      FUZZ_REQUIRE(bytes == 0);
    } else {
      FUZZ_REQUIRE(bytes >= MIN_SOUND_BLOCK_BYTES && bytes <= MAX_SOUND_BYTES && bytes >= need);
      FUZZ_REQUIRE(bytes == (need < MIN_SOUND_BLOCK_BYTES ? MIN_SOUND_BLOCK_BYTES : static_cast<uint64_t>(need)));
    }
  }

  // Conversion as the loader drives it: decoded bytes (a partial last frame included) into 1 or 2
  // channels of 1 or 2 bytes.
  {
    const uint32_t fileChannels = in.ConsumeIntegralInRange<uint32_t>(1, 8);
    const uint32_t channels = in.ConsumeIntegralInRange<uint32_t>(1, 2);
    const uint32_t wordSize = in.ConsumeIntegralInRange<uint32_t>(1, 2);
    const uint64_t frames = in.ConsumeIntegralInRange<uint64_t>(0, 2000);
    const uint64_t bytes = in.ConsumeIntegralInRange<uint64_t>(0, frames * fileChannels * wordSize);
    checkConversion(in, bytes, fileChannels, channels, wordSize);
  }

  // Conversion with arbitrary counts: nothing written past the converted frames, whatever is asked.
  {
    const uint32_t fileChannels = in.ConsumeIntegralInRange<uint32_t>(0, 300);
    const uint32_t channels = in.ConsumeIntegralInRange<uint32_t>(0, MAX_CASE_CHANNELS);
    const uint32_t wordSize = in.ConsumeIntegralInRange<uint32_t>(0, 5);
    const uint64_t bytes = in.ConsumeIntegralInRange<uint64_t>(0, MAX_CASE_BLOCK);
    checkConversion(in, bytes, fileChannels, channels, wordSize);
  }
  return 0;
}
