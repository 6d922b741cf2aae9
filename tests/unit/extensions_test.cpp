// The extensions' pure parts: the sprite atlas's placing against a brute-force search,
// the image header reader on well-formed and malformed headers, and the wheel record's layout.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "bridge/core/eventrecords.h"
#include "gfx/core/spriteatlas.h"

using namespace tsm;

namespace {
bool apart(const gfx::AtlasRect& a, const gfx::AtlasRect& b) {
  return a.x + a.width <= b.x || b.x + b.width <= a.x || a.y + a.height <= b.y || b.y + b.height <= a.y;
}
}  // namespace

// Live rectangles come and go (ids replaced by other sizes); every place found lies inside and
// overlaps no live one, and a refusal means that no position at all is free (checked texel by texel).
TEST(SpriteAtlas, PlacesAreFreeAndFoundWheneverAnyIs) {
  std::mt19937 random(7);
  constexpr int32_t side = 48;
  for (int round = 0; round < 40; ++round) {
    std::vector<gfx::AtlasRect> live;
    int refused = 0;
    for (int i = 0; i < 300; ++i) {
      if (!live.empty() && random() % 3 == 0) live.erase(live.begin() + static_cast<long>(random() % live.size()));
      const int32_t w = 1 + static_cast<int32_t>(random() % 20), h = 1 + static_cast<int32_t>(random() % 20);
      gfx::AtlasRect r;
      if (gfx::placeRect(live.data(), live.size(), w, h, side, &r)) {
        ASSERT_TRUE(r.width == w && r.height == h && r.x >= 0 && r.y >= 0 && r.x + w <= side && r.y + h <= side);
        for (const gfx::AtlasRect& o : live) ASSERT_TRUE(apart(r, o)) << "round " << round << " rect " << i;
        live.push_back(r);
        continue;
      }
      ++refused;
      for (int32_t y = 0; y + h <= side; ++y) {
        for (int32_t x = 0; x + w <= side; ++x) {
          const gfx::AtlasRect at{x, y, w, h};
          bool free = true;
          for (const gfx::AtlasRect& o : live) free = free && apart(at, o);
          ASSERT_FALSE(free) << w << "x" << h << " fits at " << x << "," << y << " but was refused";
        }
      }
    }
    EXPECT_GT(refused, 0) << "the atlas never filled: the round proves nothing";
  }
  gfx::AtlasRect r;
  for (const auto& [w, h] : {std::pair{0, 5}, {5, 0}, {-1, 5}, {257, 1}, {1, 257}}) {
    EXPECT_FALSE(gfx::placeRect(nullptr, 0, w, h, 256, &r)) << w << "x" << h;
  }
}

TEST(SpriteAtlas, ImageHeaders) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                              0, 0, 0x01, 0x02, 0, 0, 0, 0x30, 8, 6, 0, 0, 0};
  // A JPEG with an APP0 segment before a progressive frame header (SOF2): 480 high, 640 wide.
  std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 1, 2, 0xFF, 0xFF, 0xC2, 0, 11, 8, 0x01, 0xE0, 0x02, 0x80, 3};
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    gfx::ImageKind kind;
    int32_t width, height;
  };
  std::vector<Case> cases = {
      {"png", png, gfx::IMAGE_PNG, 258, 48},
      {"jpeg", jpeg, gfx::IMAGE_JPEG, 640, 480},
      {"png cut short", {png.begin(), png.begin() + 20}, gfx::IMAGE_UNKNOWN, 0, 0},
      {"jpeg cut before its frame", {jpeg.begin(), jpeg.begin() + 12}, gfx::IMAGE_UNKNOWN, 0, 0},
      {"jpeg with image data first", {0xFF, 0xD8, 0xFF, 0xDA, 0, 2, 0xFF, 0xC0, 0, 11, 8, 0, 1, 0, 1}, gfx::IMAGE_UNKNOWN, 0, 0},
      {"jpeg segment length 0", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0xFF, 0xC0, 0, 11, 8, 0, 1, 0, 1}, gfx::IMAGE_UNKNOWN, 0, 0},
      {"huffman table is no frame", {0xFF, 0xD8, 0xFF, 0xC4, 0, 2}, gfx::IMAGE_UNKNOWN, 0, 0},
      {"text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'}, gfx::IMAGE_UNKNOWN, 0, 0},
      {"empty", {}, gfx::IMAGE_UNKNOWN, 0, 0},
  };
  std::vector<uint8_t> bigPng = png;
  bigPng[16] = 0xFF;  // width 0xFF000102: beyond int32, reported as 0 (refused by the caller)
  cases.push_back({"png width past int32", bigPng, gfx::IMAGE_PNG, 0, 48});
  for (const Case& c : cases) {
    int32_t w = 0, h = 0;
    EXPECT_EQ(gfx::imageHeaderSize(c.bytes.data(), c.bytes.size(), &w, &h), c.kind) << c.what;
    if (c.kind != gfx::IMAGE_UNKNOWN) {
      EXPECT_EQ(w, c.width) << c.what;
      EXPECT_EQ(h, c.height) << c.what;
    }
  }
  // Every prefix that ends before the width is read without going past it.
  for (size_t n = 0; n + 1 < jpeg.size(); ++n) {
    std::vector<uint8_t> prefix(jpeg.begin(), jpeg.begin() + n);
    int32_t w = 0, h = 0;
    EXPECT_EQ(gfx::imageHeaderSize(prefix.data(), prefix.size(), &w, &h), gfx::IMAGE_UNKNOWN) << n;
  }
}

TEST(Extensions, WheelRecord) {
  std::vector<uint8_t> block(64, 0xEE);
  bridge::EventWriter w{block.data(), block.size(), 0};
  ASSERT_TRUE(w.mouseWheel(-1, 2, -0.5f, 2.0f, 1));
  const std::vector<uint8_t> expected = {0x03, 0x04, 0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0,
                                         0, 0, 0x00, 0xBF, 0, 0, 0x00, 0x40, 1};
  EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.begin() + w.offset), expected);
}
