// Fuzz target: PCM shaping. Block sizing over every 64-bit frame count and channel and word sizes
// (never overflowing, never below the minimum, never above the limit, never smaller than what the
// frames need); and channel conversion in place, both as the sound loader drives it (the block
// sized by soundBlockBytes) and with arbitrary byte counts, capacities and channel counts, against a
// reference conversion into separate memory. Blocks are allocated to their exact capacity.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "audio/core/pcm.h"
#include "fuzzlog.h"

using namespace tsm::audio;

namespace {
// Largest block a conversion case allocates.
constexpr uint64_t MAX_CASE_BLOCK = 1 << 16;

// What the documented conversion makes of `bytes` decoded bytes: empty when the data stays as it is.
std::vector<uint8_t> referenceConversion(const std::vector<uint8_t>& src, uint64_t capacity, uint32_t fileChannels,
                                         uint32_t channels, uint32_t wordSize, bool* unchanged) {
  *unchanged = false;
  std::vector<uint8_t> out;
  if (fileChannels == 0 || channels == 0 || wordSize == 0 || fileChannels == channels) {
    *unchanged = true;
    return out;
  }
  const uint64_t inFrame = uint64_t{fileChannels} * wordSize, outFrame = uint64_t{channels} * wordSize;
  const uint64_t frames = src.size() / inFrame;
  if (channels > fileChannels && (fileChannels != 1 || frames * outFrame > capacity)) {
    *unchanged = true;
    return out;
  }
  for (uint64_t f = 0; f < frames; ++f) {
    for (uint32_t c = 0; c < channels; ++c) {
      const uint32_t from = channels < fileChannels ? c : 0;
      for (uint32_t b = 0; b < wordSize; ++b) out.push_back(src[f * inFrame + from * wordSize + b]);
    }
  }
  return out;
}

void checkConversion(FuzzedDataProvider& in, uint64_t capacity, uint64_t bytes, uint32_t fileChannels, uint32_t channels,
                     uint32_t wordSize) {
  uint8_t* block = static_cast<uint8_t*>(std::malloc(capacity));
  std::vector<uint8_t> src = in.ConsumeBytes<uint8_t>(bytes);
  src.resize(bytes, 0x5A);
  if (bytes) std::memcpy(block, src.data(), bytes);
  if (capacity > bytes) std::memset(block + bytes, 0xC3, capacity - bytes);
  bool unchanged;
  const std::vector<uint8_t> expected = referenceConversion(src, capacity, fileChannels, channels, wordSize, &unchanged);
  const uint64_t result = convertChannels(block, bytes, capacity, fileChannels, channels, wordSize);
  if (unchanged) {
    FUZZ_REQUIRE(result == bytes);
    FUZZ_REQUIRE(bytes == 0 || std::memcmp(block, src.data(), bytes) == 0);
  } else {
    FUZZ_REQUIRE(result == expected.size() && result <= capacity);
    FUZZ_REQUIRE(result == 0 || std::memcmp(block, expected.data(), result) == 0);
  }
  std::free(block);
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

  // Conversion as the loader drives it: a block from soundBlockBytes, decoded bytes up to the
  // decoded frames' size (a partial last frame included).
  {
    const uint32_t fileChannels = in.ConsumeIntegralInRange<uint32_t>(1, 8);
    const uint32_t channels = in.ConsumeIntegralInRange<uint32_t>(1, 2);
    const uint32_t wordSize = in.ConsumeIntegralInRange<uint32_t>(1, 2);
    const int64_t frames = in.ConsumeIntegralInRange<int64_t>(0, 2000);
    const uint64_t capacity = soundBlockBytes(frames, fileChannels, channels, wordSize);
    FUZZ_REQUIRE(capacity != 0);
    const uint64_t decoded = static_cast<uint64_t>(frames) * fileChannels * wordSize;
    const uint64_t bytes = in.ConsumeIntegralInRange<uint64_t>(0, decoded);
    checkConversion(in, capacity, bytes, fileChannels, channels, wordSize);
  }

  // Conversion with arbitrary counts: nothing past the capacity, whatever is asked.
  {
    const uint32_t fileChannels = in.ConsumeIntegralInRange<uint32_t>(0, 300);
    const uint32_t channels = in.ConsumeIntegralInRange<uint32_t>(0, 300);
    const uint32_t wordSize = in.ConsumeIntegralInRange<uint32_t>(0, 5);
    const uint64_t capacity = in.ConsumeIntegralInRange<uint64_t>(0, MAX_CASE_BLOCK);
    const uint64_t bytes = in.ConsumeIntegralInRange<uint64_t>(0, capacity);
    checkConversion(in, capacity, bytes, fileChannels, channels, wordSize);
  }
  return 0;
}
