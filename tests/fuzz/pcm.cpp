// Fuzz target: PCM shaping. Block sizing over every 64-bit frame count, channel and word sizes; channel
// conversion against a reference, into blocks of exactly the reference's size.

#include "audio/core/pcm.h"
#include "fuzzlog.h"

using namespace tsm::audio;

namespace {
// As the sound loader drives it (decoded bytes, a partial last frame included, from up to 8 channels into
// 1 or 2), or with any counts.
void checkConversion(FuzzedDataProvider& in, bool loader) {
  const auto range = [&](uint64_t lo, uint64_t hi) { return in.ConsumeIntegralInRange<uint64_t>(lo, hi); };
  const uint32_t fileChannels = range(loader, loader ? 8 : 300), channels = range(loader, loader ? 2 : 8);
  const uint32_t wordSize = range(loader, loader ? 2 : 5);
  const uint64_t bytes = loader ? range(0, range(0, 2000) * fileChannels * wordSize) : range(0, 1 << 14);
  std::vector<uint8_t> src = in.ConsumeBytes<uint8_t>(bytes), expected;
  src.resize(bytes, 0x5A);
  // Each whole frame's channel c from the file's channel c or, where it has none, its first.
  const uint64_t frame = uint64_t{fileChannels} * wordSize;
  for (uint64_t f = 0; frame && f < bytes / frame; ++f) {
    for (uint32_t c = 0; c < channels; ++c) {
      for (uint32_t b = 0; b < wordSize; ++b) expected.push_back(src[f * frame + (c < fileChannels ? c : 0) * wordSize + b]);
    }
  }
  const tsm::fuzz::Exact out(expected.size());
  FUZZ_REQUIRE(convertFrames(src.data(), bytes, out.p, fileChannels, channels, wordSize) == expected.size());
  FUZZ_REQUIRE(expected.empty() || std::memcmp(out.p, expected.data(), expected.size()) == 0);
}
}  // namespace

FUZZ_TARGET {
  // What the frames need in the wider of the two channel counts, at least the minimum; 0 past the limit.
  const int64_t frames = in.ConsumeBool() ? in.ConsumeIntegral<int64_t>() : in.ConsumeIntegralInRange<int64_t>(-2, 1 << 28);
  const uint32_t fc = in.ConsumeBool() ? in.ConsumeIntegral<uint32_t>() : in.ConsumeIntegralInRange<uint32_t>(0, 9);
  const uint32_t c = in.ConsumeIntegralInRange<uint32_t>(0, 3);
  const uint32_t w = in.ConsumeBool() ? in.ConsumeIntegral<uint32_t>() : in.ConsumeIntegralInRange<uint32_t>(0, 3);
  const unsigned __int128 need = frames < 0 ? 0 : static_cast<unsigned __int128>(frames) * std::max(fc, c) * w;
  const bool none = frames < 0 || !fc || !c || !w || need > MAX_SOUND_BYTES;
  FUZZ_REQUIRE(soundBlockBytes(frames, fc, c, w) == (none ? 0 : std::max<unsigned __int128>(need, MIN_SOUND_BLOCK_BYTES)));

  checkConversion(in, true);
  checkConversion(in, false);
}
