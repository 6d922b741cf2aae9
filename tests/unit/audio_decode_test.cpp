// The decode loop against a scripted decoder: how each kind of answer ends or continues the loop,
// what is kept, the lines logged, and a growing block for streams of unknown length.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "audio/core/decodeloop.h"
#include "audio/core/pcm.h"

using namespace tsm::audio;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {
// Answers reads from a script: a positive entry writes that many bytes (at most the length asked
// for), others are returned as they are. Past the script it reads 0 (end), or, when `endless`,
// keeps writing `endless` bytes per read.
struct ScriptedDecoder {
  explicit ScriptedDecoder(std::vector<long> script_ = {}) : script(std::move(script_)) {}
  std::vector<long> script;
  long endless = 0;
  size_t next = 0;
  uint64_t produced = 0;
  int section = 0;
  std::vector<int32_t> asked;
};

uint8_t patternByte(uint64_t i) { return static_cast<uint8_t>(i * 13 + 5); }

long scriptedRead(void* context, uint8_t* out, int32_t length, int* section) {
  auto* d = static_cast<ScriptedDecoder*>(context);
  d->asked.push_back(length);
  long n = d->next < d->script.size() ? d->script[d->next++] : d->endless;
  if (n > 0) {
    if (n > length) n = length;
    for (long i = 0; i < n; ++i) out[i] = patternByte(d->produced + i);
    d->produced += n;
    *section = d->section;
  }
  return n;
}

bool holdsPattern(const PcmBlock& b) {
  for (uint64_t i = 0; i < b.used; ++i) if (b.data[i] != patternByte(i)) return false;
  return true;
}

struct FixedBlock {
  std::vector<uint8_t> bytes;
  PcmBlock block;
  explicit FixedBlock(uint64_t n) : bytes(n), block{bytes.data(), n, 0} {}
};
}  // namespace

TEST(DecodeLoop, ReadsUntilTheEndAskingForTheRoomLeft) {
  FixedBlock b(1000);
  ScriptedDecoder d({300, 200, 100});
  d.section = 2;
  int section = -1;
  EXPECT_EQ(decodeStream(scriptedRead, &d, b.block, false, section), DecodeEnd::END_OF_STREAM);
  EXPECT_EQ(b.block.used, 600u);
  EXPECT_TRUE(holdsPattern(b.block));
  EXPECT_EQ(d.asked, (std::vector<int32_t>{1000, 700, 500, 400}));
  EXPECT_EQ(section, 2);
}

TEST(DecodeLoop, FullFixedBlockStopsWithoutAnotherRead) {
  FixedBlock b(500);
  ScriptedDecoder d({300, 300, 300});
  int section = -1;
  EXPECT_EQ(decodeStream(scriptedRead, &d, b.block, false, section), DecodeEnd::BLOCK_FULL);
  EXPECT_EQ(b.block.used, 500u);
  EXPECT_EQ(d.asked.size(), 2u);
  EXPECT_TRUE(holdsPattern(b.block));
}

TEST(DecodeLoop, EmptyFixedBlockReadsNothing) {
  FixedBlock b(0);
  ScriptedDecoder d({300});
  int section = -1;
  EXPECT_EQ(decodeStream(scriptedRead, &d, b.block, false, section), DecodeEnd::BLOCK_FULL);
  EXPECT_TRUE(d.asked.empty());
  EXPECT_EQ(section, -1);
}

TEST(DecodeLoop, InvalidRequestStopsAndKeepsWhatWasRead) {
  FixedBlock b(1000);
  ScriptedDecoder d({100, STREAM_EINVAL, 100});
  int section = -1;
  CaptureStderr();
  EXPECT_EQ(decodeStream(scriptedRead, &d, b.block, false, section), DecodeEnd::INVALID);
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_EQ(b.block.used, 100u);
}

TEST(DecodeLoop, OtherErrorsAreLoggedWithTheSectionAndReadPast) {
  FixedBlock b(1000);
  ScriptedDecoder d({-3, 100, -137, 50});
  d.section = 1;
  int section = -1;
  CaptureStderr();
  EXPECT_EQ(decodeStream(scriptedRead, &d, b.block, false, section), DecodeEnd::END_OF_STREAM);
  EXPECT_EQ(GetCapturedStderr(),
            " !Error encountered in stream: -3 (section -1)\n !Error encountered in stream: -137 (section 1)\n");
  EXPECT_EQ(b.block.used, 150u);
  EXPECT_TRUE(holdsPattern(b.block));
}

TEST(DecodeLoop, ADecoderThatOnlyFailsIsGivenUp) {
  FixedBlock b(1000);
  ScriptedDecoder d({10});
  d.endless = -3;
  int section = -1;
  CaptureStderr();
  EXPECT_EQ(decodeStream(scriptedRead, &d, b.block, false, section), DecodeEnd::TOO_MANY_ERRORS);
  GetCapturedStderr();
  EXPECT_EQ(d.asked.size(), 1 + MAX_STREAM_ERRORS_IN_A_ROW);
  EXPECT_EQ(b.block.used, 10u);
}

TEST(DecodeLoop, ErrorsBetweenDataDoNotAddUp) {
  FixedBlock b(100000);
  ScriptedDecoder d;
  for (uint32_t i = 0; i < 3 * MAX_STREAM_ERRORS_IN_A_ROW; ++i) {
    for (uint32_t k = 0; k + 1 < MAX_STREAM_ERRORS_IN_A_ROW; ++k) d.script.push_back(-3);
    d.script.push_back(10);
  }
  int section = -1;
  CaptureStderr();
  EXPECT_EQ(decodeStream(scriptedRead, &d, b.block, false, section), DecodeEnd::END_OF_STREAM);
  GetCapturedStderr();
  EXPECT_EQ(b.block.used, 30u * MAX_STREAM_ERRORS_IN_A_ROW);
}

TEST(DecodeLoop, GrowingBlockKeepsItsDataAndRoomForAFrame) {
  PcmBlock block{nullptr, 0, 0};
  ScriptedDecoder d;
  for (int i = 0; i < 700; ++i) d.script.push_back(4093 + i % 7);
  int section = -1;
  EXPECT_EQ(decodeStream(scriptedRead, &d, block, true, section), DecodeEnd::END_OF_STREAM);
  EXPECT_EQ(block.used, d.produced);
  EXPECT_GT(block.used, STREAM_START_BYTES);
  EXPECT_GE(block.capacity, block.used);
  EXPECT_TRUE(holdsPattern(block));
  for (int32_t asked : d.asked) EXPECT_GE(static_cast<uint64_t>(asked), STREAM_MIN_READ_BYTES);
  std::free(block.data);
}

TEST(DecodeLoop, GrowthDoublesFromTheStartSizeUpToTheLimit) {
  EXPECT_EQ(grownCapacity(0), STREAM_START_BYTES);
  EXPECT_EQ(grownCapacity(STREAM_START_BYTES), 2 * STREAM_START_BYTES);
  EXPECT_EQ(grownCapacity(MAX_SOUND_BYTES / 2 + 1), MAX_SOUND_BYTES);
  EXPECT_EQ(grownCapacity(MAX_SOUND_BYTES), MAX_SOUND_BYTES);
}
