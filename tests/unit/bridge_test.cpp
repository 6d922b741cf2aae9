// The base and bridge cores: word conversions, the random generator and its seeding, event record
// encoding, vertex capacity arithmetic and the command stream's walk.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "base/random.h"
#include "base/words.h"
#include "bridge/core/capacity.h"
#include "bridge/core/commandstream.h"
#include "bridge/core/eventrecords.h"

using namespace tsm;
using namespace tsm::bridge;

// wordToInt truncates toward zero, INT32_MIN outside the range; wordToLowU32 takes the low bits of a
// 64-bit truncation (INT64_MIN, low bits 0, outside its range); saturateToInt32 clamps, NaN gives 0.
TEST(Words, TruncatingAndSaturatingConversions) {
  constexpr int32_t LO = std::numeric_limits<int32_t>::min(), HI = std::numeric_limits<int32_t>::max();
  const struct { double in; int32_t toInt; uint32_t low; int32_t saturated; } cases[] = {
      {std::nan(""), LO, 0, 0}, {-std::nan(""), LO, 0, 0}, {INFINITY, LO, 0, HI}, {-INFINITY, LO, 0, LO}, {1e30, LO, 0, HI},
      {-1e30, LO, 0, LO}, {1e300, LO, 0, HI}, {-0.0, 0, 0, 0}, {0.5, 0, 0, 0}, {-0.999, 0, 0, 0}, {1.9, 1, 1, 1},
      {-1.9, -1, 0xFFFFFFFFu, -1}, {1400.75, 1400, 1400, 1400}, {std::numeric_limits<double>::denorm_min(), 0, 0, 0},
      {2147483646.5, HI - 1, 0x7FFFFFFEu, HI - 1}, {2147483647.0, HI, 0x7FFFFFFFu, HI}, {2147483647.9, HI, 0x7FFFFFFFu, HI},
      {2147483648.0, LO, 0x80000000u, HI}, {-2147483647.9, LO + 1, 0x80000001u, LO + 1}, {-2147483648.0, LO, 0x80000000u, LO},
      {-2147483648.9, LO, 0x80000000u, LO}, {-2147483649.0, LO, 0x7FFFFFFFu, LO}, {3000000000.0, LO, 3000000000u, HI},
      {4294967296.0 + 7, LO, 7, HI}, {static_cast<double>(-3.0e9f), LO, 1294967296u, LO},  // a float widens exactly
  };
  for (const auto& c : cases) {
    EXPECT_EQ(wordToInt(c.in), c.toInt) << c.in;
    EXPECT_EQ(wordToLowU32(c.in), c.low) << c.in;
    EXPECT_EQ(saturateToInt32(c.in), c.saturated) << c.in;
  }
  EXPECT_EQ(wordToInt64(-9223372036854775808.0), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(wordToInt64(9223372036854775808.0), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(wordToFloat(0.1), 0.1f);
  EXPECT_EQ(wordToFloat(16777217.0), 16777216.0f);  // ties to even
  EXPECT_TRUE(std::isinf(wordToFloat(1e300)));
}

TEST(Random, XorshiftSequenceUnitValuesAndSeeding) {
  // The classic xorshift128 seeds, oldest word last in memory order, give the classic sequence.
  uint32_t state[4] = {88675123u, 521288629u, 362436069u, 123456789u};
  EXPECT_EQ(nextRandom(state), 3701687786u);
  EXPECT_EQ(nextRandom(state), 458299110u);
  EXPECT_TRUE(state[1] == 3701687786u && state[3] == 521288629u);
  // Unit values span [0, 1]: a zero state stays zero, the largest draw gives exactly 1.
  uint32_t zero[4] = {0, 0, 0, 0}, top[4] = {0xFFFFE000u, 0, 0, 0};
  EXPECT_TRUE(nextUnit(zero) == 0.0f && nextRandom(zero) == 0u && nextUnit(top) == 1.0f);
  // Each of 128 draws sets its bit, in word order, when its low 15 bits are below 16383; bits are ORed
  // into what the state held.
  struct Script {
    std::vector<uint32_t> values;
    size_t next = 0;
  } s{{16382, 16383, 0, 32767}}, high{{0x10000 + 5}}, never{{20000}};
  auto draw = [](void* context) {
    auto* s = static_cast<Script*>(context);
    return s->values[s->next++ % s->values.size()];
  };
  uint32_t seeded[4] = {0, 0, 0, 0}, all[4] = {0, 0, 0, 0}, kept[4] = {1, 2, 3, 4};
  seedRandomState(seeded, draw, &s);
  seedRandomState(all, draw, &high);
  seedRandomState(kept, draw, &never);
  EXPECT_EQ(s.next, 128u);
  for (int w = 0; w < 4; ++w) EXPECT_TRUE(seeded[w] == 0x55555555u && all[w] == 0xFFFFFFFFu && kept[w] == w + 1u) << w;
}

TEST(EventRecords, LayoutsAreLittleEndianAndPacked) {
  std::vector<uint8_t> block(256, 0xEE);
  EventWriter q{block.data(), block.size(), 0};
  ASSERT_TRUE(q.quit() && q.windowSize(1024, -2) && q.key(EVENT_KEY_DOWN, 0x12345, 0x40000052, 0x1001, 1) && q.textInput("\xC3\xA9") &&
              q.textInput(std::string(40, 'x').c_str()) && q.textInput("") && q.mouseMotion(-1, 300) &&
              q.mouseButton(EVENT_MOUSE_BUTTON_UP, 5, 6, 3) && q.mouseWheel(-1, 2, -0.5f, 2.0f, 1) && q.controllerAxis(3, 2, -32768) &&
              q.controllerButton(EVENT_CONTROLLER_BUTTON_DOWN, 7, 11, 1) && q.controllerDevice(EVENT_CONTROLLER_REMOVED, 3) &&
              q.adapterConnected());
  std::vector<uint8_t> expected = {
      0x00, 0x01,                                                        // quit
      0x00, 0x02, 6, 0x00, 0x04, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF,           // window size
      0x00, 0x03, 0x45, 0x23, 0x52, 0, 0, 0x40, 0x01, 0x10, 1,           // key
      0x03, 0x03, 2, 0xC3, 0xA9, 0x03, 0x03, 32,                         // text, then text cut at 32 bytes ...
  };
  expected.insert(expected.end(), 32, 'x');
  expected.insert(expected.end(), {
      0x03, 0x03, 0,                                                     // ... and empty text
      0x00, 0x04, 0xFF, 0xFF, 0xFF, 0xFF, 0x2C, 0x01, 0, 0,              // motion
      0x02, 0x04, 5, 0, 0, 0, 6, 0, 0, 0, 3,                             // button up
      0x03, 0x04, 0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 0, 0, 0x00, 0xBF, 0, 0, 0x00, 0x40, 1,  // wheel
      0x50, 0x06, 3, 0, 0, 0, 2, 0x00, 0x00, 0x80, 0xBF,                 // axis -1.0f
      0x51, 0x06, 7, 0, 0, 0, 11, 1,                                     // controller button
      0x54, 0x06, 3, 0, 0, 0,                                            // removed
      0x00, 0x80, 0, 0, 6, 0, 0, 0,                                      // adapter connected
  });
  EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.begin() + q.offset), expected);
  for (auto [in, out] : {std::pair{-32768, -1.0f}, {32767, 1.0f}, {0, 0.0f}, {-16384, -0.5f}}) {
    EXPECT_EQ(controllerAxisValue(static_cast<int16_t>(in)), out) << in;
  }
  // A record that does not fit is dropped whole; a wild offset from the host touches nothing.
  EventWriter small{block.data(), 13, 0}, past{block.data(), 8, 100}, none{nullptr, 0, 0};
  ASSERT_TRUE(small.windowSize(1, 2));  // 11 bytes
  EXPECT_FALSE(small.mouseMotion(3, 4));  // 10 more do not fit
  EXPECT_TRUE(small.quit());              // 2 more do
  EXPECT_FALSE(small.quit());
  EXPECT_FALSE(past.quit() || none.quit());
  EXPECT_TRUE(small.offset == 13u && past.offset == 100u);
}

// The capacity the host's blocks hold decides; a request that differs is marked modified.
TEST(VertexCapacity, HostBlocksDecide) {
  const struct { uint64_t requested, bytes; uint32_t components; uint64_t capacity; bool modified; } cases[] = {
      {4, 48, 3, 4, false}, {0, 48, 3, 4, false}, {5, 48, 3, 4, true}, {0, 50, 4, 3, false} /* the tail dropped */,
      {2, 0, 4, 0, true}, {2, 64, 0, 0, true},
  };
  for (const auto& c : cases) {
    bool modified = !c.modified;
    EXPECT_EQ(resolveVertexCapacity(c.requested, c.bytes, c.components, &modified), c.capacity) << c.requested << " " << c.bytes;
    EXPECT_EQ(modified, c.modified) << c.requested << " " << c.bytes;
  }
  EXPECT_EQ(vertexBlockBytes(1000, 3), 12000u);
}

// Each row: the words, the result block's length in words, the count; then the commands run (skips
// included), the results (-1: untouched) and what reached `execute`, each opcode and its operands.
TEST(CommandStream, WalksCommandsWithinTheCountAndBothBlocks) {
  const struct { const char* what; std::vector<double> words; size_t resultWords; int32_t count; uint32_t ran; std::vector<double> results, calls; } cases[] = {
      {"results at opcode indices, operands untouched", {4, 17, 0.5, 5, 12, 1, 0, 0, 1}, 9, 9, 3,
       {104, -1, -1, 105, 112, -1, -1, -1, -1}, {4, 17, 0.5, 5, 12, 1, 0, 0, 1}},
      {"unknown opcodes and 11 skip one word with result 0; 1.9 truncates to 1", {0.5, -0.5, 11, 99, NAN, 1.9, 0, 0, 0, 0, 0, 0},
       12, 12, 6, {0, 0, 0, 0, 0, 101, -1, -1, -1, -1, -1, -1}, {1, 0, 0, 0, 0, 0, 0}},
      {"zero count", {5, 5}, 2, 0, 0, {-1, -1}, {}}, {"negative count", {5, 5}, 2, -4, 0, {-1, -1}, {}},
      {"operands may lie beyond the count", {4, 3, 0.25}, 3, 1, 1, {104, -1, -1}, {4, 3, 0.25}},
      {"operands past the block stop the walk", {5, 4, 3}, 3, 3, 1, {105, -1, -1}, {5}},
      {"a count past the block runs what fits", {5, 5}, 2, 1 << 30, 2, {105, 105}, {5, 5}},
      {"stops where the result block ends", {5, 6, 7, 5}, 2, 4, 2, {105, 106}, {5, 6}},
  };
  for (const auto& c : cases) {
    std::vector<double> results(c.resultWords, -1.0), calls;
    auto execute = [&](int32_t op, const double* operands) {
      calls.push_back(op);
      calls.insert(calls.end(), operands, operands + commandWords(op) - 1);
      return 100.0 + op;
    };
    EXPECT_EQ(walkCommandStream(reinterpret_cast<const uint8_t*>(c.words.data()), c.words.size() * 8, c.count,
                                reinterpret_cast<uint8_t*>(results.data()), results.size() * 8, execute), c.ran) << c.what;
    EXPECT_EQ(results, c.results) << c.what;
    EXPECT_EQ(calls, c.calls) << c.what;
  }
  auto run = [](int32_t op, const double*) { return 100.0 + op; };
  double words[2] = {5, 5}, results[4];
  EXPECT_EQ(walkCommandStream(nullptr, 64, 4, reinterpret_cast<uint8_t*>(results), 32, run), 0u);
  EXPECT_EQ(walkCommandStream(reinterpret_cast<uint8_t*>(words), 16, 2, nullptr, 16, run), 0u);
  for (const int32_t op : {0, 11, 14, contract::OP_LAST + 1, -3, std::numeric_limits<int32_t>::min()}) EXPECT_EQ(commandWords(op), 1u) << op;
  // Neither block needs alignment: 28 bytes from offset 1 hold three whole words, the last 4 bytes none.
  std::vector<uint8_t> block(8 * 3 + 5), out(8 * 3 + 7);
  const double three[3] = {6, 7, 5};
  std::memcpy(block.data() + 1, three, sizeof three);
  EXPECT_EQ(walkCommandStream(block.data() + 1, 28, 4, out.data() + 3, 28, run), 3u);
  double last;
  std::memcpy(&last, out.data() + 3 + 16, 8);
  EXPECT_EQ(last, 105.0);
}
