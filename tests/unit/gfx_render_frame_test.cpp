// Frame arithmetic: draw counts, the debug-thumbnail tiles and framebuffer status names.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "gfx/core/framerules.h"

using namespace tsm::gfx;

TEST(DrawCount, WholeVerticesOfTheFillLengthCappedByCapacity) {
  EXPECT_EQ(drawCount(0, 3, 100000), 0u);
  EXPECT_EQ(drawCount(9, 3, 100000), 3u);
  // Lengths that are not multiples of 3 draw the largest whole number of vertices.
  EXPECT_EQ(drawCount(10, 3, 100000), 3u);
  EXPECT_EQ(drawCount(11, 3, 100000), 3u);
  // Instances are measured in 4 floats.
  EXPECT_EQ(drawCount(8, 4, 100000), 2u);
  EXPECT_EQ(drawCount(7, 4, 100000), 1u);
  // Never past what the buffers hold, whatever the host wrote.
  EXPECT_EQ(drawCount(300003, 3, 100000), 100000u);
  EXPECT_EQ(drawCount(0xFFFFFFFFull, 3, 100000), 100000u);
  EXPECT_EQ(drawCount(9, 3, 0), 0u);
  EXPECT_EQ(drawCount(9, 0, 100), 0u);
}

TEST(DebugTiles, WidthIsAThirdOfTheDrawableUpTo400) {
  EXPECT_EQ(debugTileSize(1920, 1080).width, 400);
  EXPECT_EQ(debugTileSize(1920, 1080).height, 225);
  EXPECT_EQ(debugTileSize(900, 600).width, 300);
  EXPECT_EQ(debugTileSize(900, 600).height, 200);
  EXPECT_EQ(debugTileSize(1400, 800).width, 400);
  EXPECT_EQ(debugTileSize(1400, 800).height, 228);
  EXPECT_EQ(debugTileSize(1200, 700).width, 400);
  EXPECT_EQ(debugTileSize(1199, 700).width, 399);
  EXPECT_EQ(debugTileSize(1199, 700).height, 232);
}

TEST(DebugTiles, AnEmptyDrawableGivesAnEmptyTileAndNeverDividesByZero) {
  for (auto [w, h] : {std::pair{0, 0}, {0, 800}, {1400, 0}, {-3, 800}, {800, -1}, {2, 800}}) {
    const TileSize t = debugTileSize(w, h);
    EXPECT_EQ(t.width, 0) << w << "x" << h;
    EXPECT_EQ(t.height, 0) << w << "x" << h;
  }
  // Large drawables do not overflow the proportion.
  EXPECT_EQ(debugTileSize(100000, 100000).height, 400);
  EXPECT_EQ(debugTileSize(3, 2000000000).height, 666666666);
}

TEST(DebugTiles, ThreeTilesAlwaysFitAcrossAndKeepTheAspect) {
  std::mt19937 rng(7);
  for (int i = 0; i < 10000; ++i) {
    const int32_t w = 1 + static_cast<int32_t>(rng() % 8000), h = 1 + static_cast<int32_t>(rng() % 8000);
    const TileSize t = debugTileSize(w, h);
    EXPECT_LE(3 * t.width, w);
    EXPECT_LE(t.width, 400);
    EXPECT_LE(t.height, h);
    EXPECT_EQ(t.height, static_cast<int64_t>(h) * t.width / w);
  }
}

TEST(FramebufferStatus, NamesEveryStatusAndOtherwiseOther) {
  EXPECT_STREQ(framebufferStatusName(0x8219), "GL_FRAMEBUFFER_UNDEFINED");
  EXPECT_STREQ(framebufferStatusName(0x8CD5), "GL_FRAMEBUFFER_COMPLETE");
  EXPECT_STREQ(framebufferStatusName(0x8CD6), "GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT");
  EXPECT_STREQ(framebufferStatusName(0x8CD7), "GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT");
  EXPECT_STREQ(framebufferStatusName(0x8CDB), "GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER");
  EXPECT_STREQ(framebufferStatusName(0x8CDC), "GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER");
  EXPECT_STREQ(framebufferStatusName(0x8CDD), "GL_FRAMEBUFFER_UNSUPPORTED");
  EXPECT_STREQ(framebufferStatusName(0x8D56), "GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE");
  EXPECT_STREQ(framebufferStatusName(0x8DA8), "GL_FRAMEBUFFER_INCOMPLETE_LAYER_TARGETS");
  EXPECT_STREQ(framebufferStatusName(0), "OTHER");
  EXPECT_STREQ(framebufferStatusName(0x8CD8), "OTHER");
  EXPECT_STREQ(framebufferStatusName(0xFFFFFFFFu), "OTHER");
}
