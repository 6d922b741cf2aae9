// Command word conversions and the command stream's walk.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "bridge/core/commandstream.h"
#include "base/words.h"

using namespace tsm;
using namespace tsm::bridge;

TEST(Words, IntTruncatesTowardZeroAndSaturatesToMin) {
  EXPECT_EQ(wordToInt(1.9), 1);
  EXPECT_EQ(wordToInt(-0.5), 0);
  EXPECT_EQ(wordToInt(0.5), 0);
  EXPECT_EQ(wordToInt(-1.9), -1);
  EXPECT_EQ(wordToInt(2147483647.9), 2147483647);
  EXPECT_EQ(wordToInt(-2147483648.9), -2147483647 - 1);
  EXPECT_EQ(wordToInt(2147483648.0), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(wordToInt(-2147483649.0), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(wordToInt(std::nan("")), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(wordToInt(INFINITY), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(wordToInt(-INFINITY), std::numeric_limits<int32_t>::min());
}

TEST(Words, LowU32TakesTheLowBitsOfA64BitTruncation) {
  EXPECT_EQ(wordToLowU32(5.7), 5u);
  EXPECT_EQ(wordToLowU32(4294967296.0 + 7), 7u);
  EXPECT_EQ(wordToLowU32(-1.0), 0xFFFFFFFFu);
  EXPECT_EQ(wordToLowU32(3000000000.0), 3000000000u);
  EXPECT_EQ(wordToLowU32(std::nan("")), 0u);  // INT64_MIN has zero low bits
  EXPECT_EQ(wordToLowU32(1e300), 0u);
  EXPECT_EQ(wordToInt64(-9223372036854775808.0), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(wordToInt64(9223372036854775808.0), std::numeric_limits<int64_t>::min());
}

TEST(Words, FloatRoundsToNearest) {
  EXPECT_EQ(wordToFloat(0.1), 0.1f);
  EXPECT_EQ(wordToFloat(16777217.0), 16777216.0f);  // ties to even
  EXPECT_TRUE(std::isinf(wordToFloat(1e300)));
}

TEST(Words, SaturatingConversionTruncatesInRangeAndClampsTheRest) {
  constexpr int32_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
  const struct {
    double in;
    int32_t out;
  } cases[] = {
      {std::nan(""), 0},      {-std::nan(""), 0},    {INFINITY, hi},         {-INFINITY, lo},
      {1e30, hi},             {-1e30, lo},           {-0.0, 0},              {0.0, 0},
      {0.999, 0},             {-0.999, 0},           {1.5, 1},               {-1.5, -1},
      {1400.75, 1400},        {2147483646.5, 2147483646}, {2147483647.0, hi}, {2147483647.9, hi},
      {2147483648.0, hi},     {-2147483647.9, -2147483647}, {-2147483648.0, lo}, {-2147483648.9, lo},
      {-2147483649.0, lo},    {4294967296.0, hi},    {std::numeric_limits<double>::denorm_min(), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(saturateToInt32(c.in), c.out) << c.in;
  // Single-precision inputs (the viewportSize pair) widen exactly first.
  EXPECT_EQ(saturateToInt32(static_cast<double>(3.0e9f)), hi);
  EXPECT_EQ(saturateToInt32(static_cast<double>(-3.0e9f)), lo);
}

TEST(Words, UnknownOpcodesTakeOneWord) {
  for (const int32_t op : {0, 11, 14, contract::OP_LAST + 1, -3, std::numeric_limits<int32_t>::min()}) {
    EXPECT_EQ(commandWords(op), 1u) << op;
  }
}

namespace {
struct Call {
  int32_t opcode;
  std::vector<double> operands;
};

struct Recorder {
  std::vector<Call> calls;
  static double run(int32_t opcode, const double* operands, void* context) {
    auto* self = static_cast<Recorder*>(context);
    self->calls.push_back({opcode, std::vector<double>(operands, operands + commandWords(opcode) - 1)});
    return 100 + opcode;
  }
};

struct Stream {
  std::vector<double> words;
  std::vector<double> results;
  Recorder recorder;
  uint32_t ran = 0;

  Stream(std::vector<double> w, size_t resultWords, int32_t count) : words(std::move(w)), results(resultWords, -1.0) {
    ran = walkCommandStream(reinterpret_cast<const uint8_t*>(words.data()), words.size() * 8, count,
                           reinterpret_cast<uint8_t*>(results.data()), results.size() * 8, [&](int32_t op, const double* o) { return Recorder::run(op, o, &recorder); });
  }
};
}  // namespace

TEST(CommandStream, ResultsLandAtOpcodeIndicesAndOperandsAreUntouched) {
  Stream s({4, 17, 0.5, 5, 12, 1, 0, 0, 1}, 9, 9);
  ASSERT_EQ(s.recorder.calls.size(), 3u);
  EXPECT_EQ(s.recorder.calls[0].opcode, 4);
  EXPECT_EQ(s.recorder.calls[0].operands, (std::vector<double>{17, 0.5}));
  EXPECT_EQ(s.recorder.calls[1].opcode, 5);
  EXPECT_EQ(s.recorder.calls[2].operands, (std::vector<double>{1, 0, 0, 1}));
  EXPECT_EQ(s.results, (std::vector<double>{104, -1, -1, 105, 112, -1, -1, -1, -1}));
}

TEST(CommandStream, UnknownOpcodesAndElevenSkipOneWordWithResultZero) {
  Stream s({0.5, -0.5, 11, 99, NAN, 1.9, 0, 0, 0, 0, 0, 0}, 12, 12);
  ASSERT_EQ(s.recorder.calls.size(), 1u);
  EXPECT_EQ(s.recorder.calls[0].opcode, 1);  // 1.9 truncates to play
  EXPECT_EQ(s.ran, 6u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(s.results[i], 0.0) << i;
  EXPECT_EQ(s.results[5], 101.0);
}

TEST(CommandStream, ZeroOrNegativeCountRunsNothing) {
  EXPECT_EQ(Stream({5, 5}, 2, 0).ran, 0u);
  EXPECT_EQ(Stream({5, 5}, 2, -4).ran, 0u);
}

TEST(CommandStream, OperandsMayLieBeyondTheCountButNotBeyondTheBlock) {
  // Count 1 still runs the whole first command: only command starts are compared with the count.
  Stream inside({4, 3, 0.25}, 3, 1);
  EXPECT_EQ(inside.recorder.calls.size(), 1u);
  // A command whose operands leave the block stops the walk; earlier commands stand.
  Stream outside({5, 4, 3}, 3, 3);
  EXPECT_EQ(outside.ran, 1u);
  EXPECT_EQ(outside.results, (std::vector<double>{105, -1, -1}));
  // A count far past the block runs what fits.
  Stream huge({5, 5}, 2, 1 << 30);
  EXPECT_EQ(huge.ran, 2u);
}

TEST(CommandStream, StopsWhereTheResultBlockEnds) {
  Stream s({5, 6, 7, 5}, 2, 4);
  EXPECT_EQ(s.ran, 2u);
  EXPECT_EQ(s.recorder.calls.size(), 2u);
}

TEST(CommandStream, MissingBlocksRunNothing) {
  Recorder r;
  double results[4];
  EXPECT_EQ(walkCommandStream(nullptr, 64, 4, reinterpret_cast<uint8_t*>(results), 32, [&](int32_t op, const double* o) { return Recorder::run(op, o, &r); }), 0u);
  double words[2] = {5, 5};
  EXPECT_EQ(walkCommandStream(reinterpret_cast<uint8_t*>(words), 16, 2, nullptr, 16, [&](int32_t op, const double* o) { return Recorder::run(op, o, &r); }), 0u);
}

TEST(CommandStream, UnalignedBlocksAndPartialWords) {
  std::vector<uint8_t> block(8 * 3 + 5);
  const double words[3] = {6, 7, 5};
  std::memcpy(block.data() + 1, words, sizeof words);
  std::vector<uint8_t> results(8 * 3 + 7);
  Recorder r;
  // 28 bytes from offset 1 hold three whole words; the four trailing bytes are no word.
  EXPECT_EQ(walkCommandStream(block.data() + 1, 28, 4, results.data() + 3, 28, [&](int32_t op, const double* o) { return Recorder::run(op, o, &r); }), 3u);
  double last;
  std::memcpy(&last, results.data() + 3 + 16, 8);
  EXPECT_EQ(last, 105.0);
}
