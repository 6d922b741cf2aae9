// Event record encoding, random seeding and vertex capacity arithmetic.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "bridge/core/capacity.h"
#include "bridge/core/eventrecords.h"
#include "base/random.h"

using namespace tsm::bridge;

namespace {
struct Queue {
  std::vector<uint8_t> block;
  EventWriter writer;
  explicit Queue(size_t size) : block(size, 0xEE), writer{block.data(), size, 0} {}
  std::vector<uint8_t> bytes() const { return {block.begin(), block.begin() + writer.offset}; }
};
}  // namespace

TEST(EventRecords, LayoutsAreLittleEndianAndPacked) {
  Queue q(256);
  ASSERT_TRUE(q.writer.quit());
  ASSERT_TRUE(q.writer.windowSize(1024, -2));
  ASSERT_TRUE(q.writer.key(EVENT_KEY_DOWN, 0x12345, 0x40000052, 0x1001, 1));
  ASSERT_TRUE(q.writer.textInput("\xC3\xA9"));
  ASSERT_TRUE(q.writer.mouseMotion(-1, 300));
  ASSERT_TRUE(q.writer.mouseButton(EVENT_MOUSE_BUTTON_UP, 5, 6, 3));
  ASSERT_TRUE(q.writer.controllerAxis(3, 2, -32768));
  ASSERT_TRUE(q.writer.controllerButton(EVENT_CONTROLLER_BUTTON_DOWN, 7, 11, 1));
  ASSERT_TRUE(q.writer.controllerDevice(EVENT_CONTROLLER_REMOVED, 3));
  ASSERT_TRUE(q.writer.adapterConnected());
  const std::vector<uint8_t> expected = {
      0x00, 0x01,                                                        // quit
      0x00, 0x02, 6, 0x00, 0x04, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF,           // window size
      0x00, 0x03, 0x45, 0x23, 0x52, 0, 0, 0x40, 0x01, 0x10, 1,           // key
      0x03, 0x03, 2, 0xC3, 0xA9,                                         // text
      0x00, 0x04, 0xFF, 0xFF, 0xFF, 0xFF, 0x2C, 0x01, 0, 0,              // motion
      0x02, 0x04, 5, 0, 0, 0, 6, 0, 0, 0, 3,                             // button up
      0x50, 0x06, 3, 0, 0, 0, 2, 0x00, 0x00, 0x80, 0xBF,                 // axis -1.0f
      0x51, 0x06, 7, 0, 0, 0, 11, 1,                                     // controller button
      0x54, 0x06, 3, 0, 0, 0,                                            // removed
      0x00, 0x80, 0, 0, 6, 0, 0, 0,                                      // adapter connected
  };
  EXPECT_EQ(q.bytes(), expected);
}

TEST(EventRecords, AxisScaling) {
  EXPECT_EQ(controllerAxisValue(-32768), -1.0f);
  EXPECT_EQ(controllerAxisValue(32767), 1.0f);
  EXPECT_EQ(controllerAxisValue(0), 0.0f);
  EXPECT_EQ(controllerAxisValue(-16384), -0.5f);
}

TEST(EventRecords, TextIsCutAt32Bytes) {
  Queue q(64);
  const std::string text(40, 'x');
  ASSERT_TRUE(q.writer.textInput(text.c_str()));
  EXPECT_EQ(q.writer.offset, 35u);
  EXPECT_EQ(q.block[2], 32);
  Queue empty(8);
  ASSERT_TRUE(empty.writer.textInput(""));
  EXPECT_EQ(empty.bytes(), (std::vector<uint8_t>{0x03, 0x03, 0}));
}

TEST(EventRecords, ARecordThatDoesNotFitIsDroppedWhole) {
  Queue q(13);
  ASSERT_TRUE(q.writer.windowSize(1, 2));  // 11 bytes
  EXPECT_FALSE(q.writer.mouseMotion(3, 4));  // 10 more do not fit
  EXPECT_TRUE(q.writer.quit());              // 2 more do
  EXPECT_EQ(q.writer.offset, 13u);
  EXPECT_FALSE(q.writer.quit());
  // Nothing past the block was touched: the writer never moves beyond its capacity.
  Queue past(8);
  past.writer.offset = 100;  // a host that wrote a wild offset
  EXPECT_FALSE(past.writer.quit());
  EXPECT_EQ(past.writer.offset, 100u);
  EventWriter none{nullptr, 0, 0};
  EXPECT_FALSE(none.quit());
}

namespace {
struct Script {
  std::vector<uint32_t> values;
  size_t next = 0;
  static uint32_t draw(void* context) {
    auto* s = static_cast<Script*>(context);
    return s->values[s->next++ % s->values.size()];
  }
};
}  // namespace

TEST(RandomSeed, ThresholdIs16383AndBitsFillWordsInOrder) {
  Script s{{16382, 16383, 0, 32767}};
  uint32_t state[4] = {0, 0, 0, 0};
  tsm::seedRandomState(state, Script::draw, &s);
  EXPECT_EQ(s.next, 128u);
  for (int w = 0; w < 4; ++w) EXPECT_EQ(state[w], 0x55555555u) << w;  // bits 0 and 2 of each 4 set
}

TEST(RandomSeed, OrsIntoTheStateAndReducesWideDraws) {
  Script high{{0x10000 + 5}};  // a wide draw whose low 15 bits are small: set
  uint32_t state[4] = {0, 0, 0, 0};
  tsm::seedRandomState(state, Script::draw, &high);
  for (int w = 0; w < 4; ++w) EXPECT_EQ(state[w], 0xFFFFFFFFu);
  Script never{{20000}};
  uint32_t kept[4] = {1, 2, 3, 4};
  tsm::seedRandomState(kept, Script::draw, &never);
  EXPECT_EQ(kept[0], 1u);
  EXPECT_EQ(kept[3], 4u);
}

TEST(VertexCapacity, HostBlocksDecide) {
  bool modified = true;
  EXPECT_EQ(resolveVertexCapacity(4, 48, 3, &modified), 4u);
  EXPECT_FALSE(modified);
  EXPECT_EQ(resolveVertexCapacity(0, 48, 3, &modified), 4u);
  EXPECT_FALSE(modified);
  EXPECT_EQ(resolveVertexCapacity(5, 48, 3, &modified), 4u);
  EXPECT_TRUE(modified);
  EXPECT_EQ(resolveVertexCapacity(0, 50, 4, &modified), 3u);  // integer division drops the tail
  EXPECT_EQ(resolveVertexCapacity(2, 0, 4, &modified), 0u);
  EXPECT_TRUE(modified);
  EXPECT_EQ(vertexCapacityFitting(64, 0), 0u);
  EXPECT_EQ(vertexBlockBytes(1000, 3), 12000u);
}
