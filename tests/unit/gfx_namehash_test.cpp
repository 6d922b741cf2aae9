// The shader name hash against values worked out by hand and against a plain reference model over
// every byte value, and the stage bit.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "gfx/core/namehash.h"

namespace tsm::gfx {
namespace {
// Reference: the widening written out as arithmetic on the byte's value.
uint32_t referenceHash(const std::string& name) {
  uint32_t h = 5381;
  for (unsigned char c : name) {
    const uint32_t w = c < 0x80 ? c : 0xFF00u + c;  // 0x80..0xFF → 0xFF80..0xFFFF
    h = h * 33u + w;
  }
  return h;
}

TEST(NameHash, HandComputedAscii) {
  EXPECT_EQ(nameHash(""), 5381u);
  EXPECT_EQ(nameHash("a"), 5381u * 33u + 97u);  // 177670
  EXPECT_EQ(nameHash("a"), 177670u);
  EXPECT_EQ(nameHash("ab"), 177670u * 33u + 98u);  // 5863208
  EXPECT_EQ(nameHash("ab"), 5863208u);
  // "solid": 5381 → 177688 → 5863815 → 193506003 → 2090730908 → 274643328 (mod 2^32)
  EXPECT_EQ(nameHash("solid"), 274643328u);
}

TEST(NameHash, HighBytesAddSignExtendedSixteenBitValues) {
  EXPECT_EQ(nameHash("\x80"), 5381u * 33u + 0xFF80u);
  EXPECT_EQ(nameHash("\xFF"), 5381u * 33u + 0xFFFFu);
  // "é" in UTF-8 is C3 A9: 5381*33 + 0xFFC3, then *33 + 0xFFA9.
  EXPECT_EQ(nameHash("\xC3\xA9"), (5381u * 33u + 0xFFC3u) * 33u + 0xFFA9u);
  for (int b = 1; b < 256; ++b) {
    const std::string s(1, static_cast<char>(b));
    EXPECT_EQ(nameHash(s.c_str()), referenceHash(s)) << "byte " << b;
  }
}

TEST(NameHash, WrapsModulo32BitsOnLongNames) {
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> byte(1, 255);
  for (int round = 0; round < 500; ++round) {
    std::string s(1 + round % 64, 'x');
    for (char& c : s) c = static_cast<char>(byte(rng));
    ASSERT_EQ(nameHash(s.c_str()), referenceHash(s)) << "round " << round;
  }
}

TEST(NameHash, StopsAtTheTerminator) {
  const char withTail[] = {'g', 'b', 'u', 'f', 'f', '\0', 'x', '\0'};
  EXPECT_EQ(nameHash(withTail), nameHash("gbuff"));
}

TEST(StageHash, SetsBit31ForVertexAndClearsItForFragment) {
  const uint32_t h = nameHash("solid");
  EXPECT_EQ(stageHash(h, true), h | 0x80000000u);
  EXPECT_EQ(stageHash(h, false), h & 0x7FFFFFFFu);
  EXPECT_NE(stageHash(h, true), stageHash(h, false));
  // Idempotent, and names differing only in bit 31 collide within one stage.
  EXPECT_EQ(stageHash(stageHash(h, true), true), stageHash(h, true));
  EXPECT_EQ(stageHash(h ^ 0x80000000u, false), stageHash(h, false));
}
}  // namespace
}  // namespace tsm::gfx
