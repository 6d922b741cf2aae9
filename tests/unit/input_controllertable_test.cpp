// Growth of the controller table, which is indexed by joystick instance id.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "input/core/controllertable.h"

namespace tsm::input {
namespace {
TEST(ControllerTable, EmptyTableGrowsFromOneByDoubling) {
  EXPECT_EQ(grownControllerCapacity(0, 0), 1);
  EXPECT_EQ(grownControllerCapacity(0, 1), 2);
  EXPECT_EQ(grownControllerCapacity(0, 3), 4);  // 1, 2, 4
  EXPECT_EQ(grownControllerCapacity(0, 4), 8);
  EXPECT_EQ(grownControllerCapacity(-5, 2), 4);
}

TEST(ControllerTable, CoveredIdsLeaveTheTableAlone) {
  EXPECT_EQ(grownControllerCapacity(4, 0), 4);
  EXPECT_EQ(grownControllerCapacity(4, 3), 4);
  EXPECT_EQ(grownControllerCapacity(3, 2), 3);
}

TEST(ControllerTable, GrowsFromTheCurrentCapacity) {
  EXPECT_EQ(grownControllerCapacity(4, 5), 8);  // the second controller of the example
  EXPECT_EQ(grownControllerCapacity(3, 3), 6);  // doubles what it has, not a power of two
  EXPECT_EQ(grownControllerCapacity(3, 7), 12);
}

TEST(ControllerTable, LargestIdsDoNotOverflow) {
  EXPECT_EQ(grownControllerCapacity(0, INT32_MAX), int64_t{1} << 31);
  EXPECT_EQ(grownControllerCapacity(1 << 30, INT32_MAX), int64_t{1} << 31);
}

// Against a model: the capacity always covers the id, is the smallest doubling that does, and a
// sequence of opens only ever grows the table.
TEST(ControllerTable, MatchesDoublingModelOverSequences) {
  for (int start = 0; start < 5; ++start) {
    int64_t capacity = start;
    for (int32_t id : std::vector<int32_t>{0, 2, 1, 9, 3, 17, 16, 40, 2, 100}) {
      const int64_t grown = grownControllerCapacity(capacity, id);
      EXPECT_GT(grown, id);
      EXPECT_GE(grown, capacity);
      if (id < capacity) {
        EXPECT_EQ(grown, capacity);
      } else {
        EXPECT_LE(grown / 2, id);  // the previous doubling did not cover it
      }
      capacity = grown;
    }
  }
}
}  // namespace
}  // namespace tsm::input
