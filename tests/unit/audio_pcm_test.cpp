// PCM shaping for sound loading: format choice, block sizes at and past the limit, and the channel
// conversion against a reference that builds every frame from scratch.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "audio/core/errortext.h"
#include "audio/core/pcm.h"

using namespace tsm::audio;

TEST(Pcm, FormatForEachSupportedPairAndNothingElse) {
  EXPECT_EQ(chooseFormat(1, 1), FORMAT_MONO8);
  EXPECT_EQ(chooseFormat(1, 2), FORMAT_STEREO8);
  EXPECT_EQ(chooseFormat(2, 1), FORMAT_MONO16);
  EXPECT_EQ(chooseFormat(2, 2), FORMAT_STEREO16);
  EXPECT_EQ(FORMAT_MONO8, 0x1100);
  EXPECT_EQ(FORMAT_STEREO16, 0x1103);
  for (uint32_t w : {0u, 3u, 4u, 0xffffffffu}) for (uint32_t c : {0u, 1u, 2u, 3u}) EXPECT_EQ(chooseFormat(w, c), 0) << w << c;
  for (uint32_t w : {1u, 2u}) for (uint32_t c : {0u, 3u, 6u}) EXPECT_EQ(chooseFormat(w, c), 0) << w << c;
}

TEST(Pcm, BlockHoldsTheWiderOfDecodedAndConvertedFrames) {
  EXPECT_EQ(soundBlockBytes(1000, 1, 1, 2), 2000u);
  EXPECT_EQ(soundBlockBytes(1000, 2, 1, 2), 4000u);
  EXPECT_EQ(soundBlockBytes(1000, 1, 2, 2), 4000u);
  EXPECT_EQ(soundBlockBytes(1000, 6, 2, 1), 6000u);
  // Never below the minimum, so an empty stream still has a block.
  EXPECT_EQ(soundBlockBytes(0, 2, 2, 2), MIN_SOUND_BLOCK_BYTES);
  EXPECT_EQ(soundBlockBytes(1, 1, 1, 1), MIN_SOUND_BLOCK_BYTES);
}

TEST(Pcm, BlockPastTheLimitOrFromNonsenseIsRefused) {
  EXPECT_EQ(soundBlockBytes(MAX_SOUND_BYTES / 4, 2, 2, 2), MAX_SOUND_BYTES);
  EXPECT_EQ(soundBlockBytes(MAX_SOUND_BYTES / 4 + 1, 2, 2, 2), 0u);
  EXPECT_EQ(soundBlockBytes(int64_t{1} << 40, 1, 1, 2), 0u);
  EXPECT_EQ(soundBlockBytes(INT64_MAX, 255, 2, 2), 0u);
  EXPECT_EQ(soundBlockBytes(-1, 1, 1, 2), 0u);
  EXPECT_EQ(soundBlockBytes(10, 0, 1, 2), 0u);
  EXPECT_EQ(soundBlockBytes(10, 1, 0, 2), 0u);
  EXPECT_EQ(soundBlockBytes(10, 1, 1, 0), 0u);
}

namespace {
// Reference: frame f's channel c sample is `value(f, c)`, written as `wordSize` bytes.
uint8_t sampleByte(uint64_t f, uint32_t c, uint32_t b) { return static_cast<uint8_t>(f * 7 + c * 31 + b * 101 + 1); }

std::vector<uint8_t> frames(uint64_t count, uint32_t channels, uint32_t wordSize, const std::vector<uint32_t>& from) {
  std::vector<uint8_t> out;
  for (uint64_t f = 0; f < count; ++f)
    for (uint32_t c = 0; c < channels; ++c)
      for (uint32_t b = 0; b < wordSize; ++b) out.push_back(sampleByte(f, from[c], b));
  return out;
}
}  // namespace

TEST(Pcm, FramesCopiedToAnyShapeTakeTheFileChannelOrItsFirst) {
  std::mt19937 rng(5);
  for (int i = 0; i < 300; ++i) {
    const uint32_t wordSize = 1 + rng() % 2;
    const uint32_t channels = 1 + rng() % 2;
    const uint32_t fileChannels = 1 + rng() % 8;
    const uint64_t count = rng() % 500;
    std::vector<uint32_t> identity(fileChannels), shaped(channels);
    for (uint32_t c = 0; c < fileChannels; ++c) identity[c] = c;
    for (uint32_t c = 0; c < channels; ++c) shaped[c] = c < fileChannels ? c : 0;
    std::vector<uint8_t> in = frames(count, fileChannels, wordSize, identity);
    // A trailing partial frame is dropped; nothing is written past the converted frames.
    in.resize(in.size() + rng() % (uint64_t{fileChannels} * wordSize), 0xee);
    const auto expected = frames(count, channels, wordSize, shaped);
    std::vector<uint8_t> out(expected.size() + 16, 0xcd);
    ASSERT_EQ(convertFrames(in.data(), in.size(), out.data(), fileChannels, channels, wordSize), expected.size());
    ASSERT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(expected.size())), expected);
    for (size_t k = expected.size(); k < out.size(); ++k) ASSERT_EQ(out[k], 0xcd);
  }
  uint8_t none = 0;
  EXPECT_EQ(convertFrames(&none, 1, &none, 0, 1, 2), 0u);
}

TEST(ErrorText, LibraryTextOrTheCodeInHex) {
  char scratch[ERROR_TEXT_BYTES];
  EXPECT_STREQ(errorTextOr("Invalid Value", "AL", 0xa003, scratch), "Invalid Value");
  EXPECT_STREQ(errorTextOr(nullptr, "AL", 0xa004, scratch), "AL error 0xa004");
  EXPECT_STREQ(errorTextOr(nullptr, "ALC", 1, scratch), "ALC error 0x1");
  EXPECT_STREQ(errorTextOr(nullptr, "ALC", 0xffffffffu, scratch), "ALC error 0xffffffff");
}
