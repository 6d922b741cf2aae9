// The glyph store and its atlas: growth that keeps references and packing order, the store limit,
// repacks of random glyph sets across uploads and doublings checked texel by texel against the
// glyphs' bitmaps, and running out of atlas height without disturbing what was placed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "text/core/glyphset.h"

using namespace tsm::text;

namespace {
struct Store {
  std::unique_ptr<GlyphSet> gs = std::make_unique<GlyphSet>();
  Store() { initGlyphStore(gs.get()); }
  ~Store() { freeGlyphStore(gs.get()); }
};

// Coverage byte of texel (x, y) of the glyph in `slot`: distinct per glyph and per texel.
uint8_t texelOf(uint32_t slot, int32_t x, int32_t y) { return static_cast<uint8_t>(1 + (slot * 31 + x * 7 + y * 13) % 255); }

// Adds a w x h glyph with a recognisable bitmap; answers its slot, or -1 when the store is full.
int64_t addGlyph(GlyphSet* gs, int32_t w, int32_t h) {
  Glyph* g = nextGlyphRecord(gs);
  if (!g) return -1;
  const uint32_t slot = gs->glyphCount;
  g->x1 = w;
  g->y1 = h;
  g->bitmapWidth = w;
  g->bitmapRows = h;
  g->key = slot;
  g->pixelSize = 16;
  if (w > 0 && h > 0) {
    g->bitmap = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(w) * h));
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) g->bitmap[y * w + x] = texelOf(slot, x, y);
  }
  commitGlyphRecord(gs, g);
  return slot;
}

// Every placed glyph inside 4096 x toHeight with its bitmap's size, no texel shared, and the atlas
// holding each glyph's bitmap under its rectangle. Refused glyphs have empty rectangles.
void expectAtlasHoldsEveryGlyph(const GlyphSet& gs) {
  ASSERT_EQ(gs.atlasHeight, gs.toHeight);
  ASSERT_LT(gs.toHeight, ATLAS_MAX_HEIGHT);
  std::vector<uint32_t> owner(static_cast<size_t>(gs.width) * gs.toHeight, UINT32_MAX);
  for (uint32_t s = 0; s < gs.glyphCount; ++s) {
    const Glyph& g = gs.glyphs[s];
    ASSERT_EQ(g.slot, s);
    if (g.refused) {
      ASSERT_TRUE(g.x0 == g.x1 && g.y0 == g.y1) << s;
      continue;
    }
    ASSERT_EQ(g.x1 - g.x0, g.bitmapWidth) << s;
    ASSERT_EQ(g.y1 - g.y0, g.bitmapRows) << s;
    ASSERT_GE(g.x0, 0);
    ASSERT_GE(g.y0, 0);
    ASSERT_LE(g.x1, static_cast<int32_t>(gs.width));
    ASSERT_LE(g.y1, static_cast<int32_t>(gs.toHeight));
    for (int32_t y = g.y0; y < g.y1; ++y) {
      for (int32_t x = g.x0; x < g.x1; ++x) {
        const size_t i = static_cast<size_t>(y) * gs.width + x;
        ASSERT_EQ(owner[i], UINT32_MAX) << "glyphs " << owner[i] << " and " << s << " share texel " << x << "," << y;
        owner[i] = s;
        ASSERT_EQ(gs.atlas[i], texelOf(s, x - g.x0, y - g.y0)) << s;
      }
    }
  }
}
}  // namespace

TEST(GlyphStore, StartsEmptyWithItsLimits) {
  Store st;
  EXPECT_EQ(st.gs->glyphCapacity, 512u);
  EXPECT_EQ(st.gs->maxGlyphs, 65536u);
  EXPECT_EQ(st.gs->maxCodes, 65536u);
  EXPECT_EQ(st.gs->glyphCount, 0u);
  EXPECT_EQ(st.gs->width, 4096u);
  EXPECT_EQ(st.gs->toHeight, 128u);
  EXPECT_EQ(st.gs->atlasHeight, 128u);
  EXPECT_EQ(st.gs->atlas, nullptr);
  EXPECT_TRUE(st.gs->dirty);
  EXPECT_EQ(st.gs->codeMap, nullptr);
  EXPECT_EQ(st.gs->indexMap, nullptr);
}

TEST(GlyphStore, The513thRecordGrowsTheStoreKeepingContentsAndPackingOrder) {
  Store st;
  GlyphSet* gs = st.gs.get();
  std::mt19937 rng(3);
  for (int n = 0; n < 512; ++n) addGlyph(gs, 1 + rng() % 40, 1 + rng() % 90);
  repackAtlas(gs);
  std::vector<uint32_t> order;
  std::vector<Glyph> before(gs->glyphs, gs->glyphs + 512);
  for (uint32_t i = 0; i < 512; ++i) order.push_back(gs->sortedGlyphs[i]->slot);
  const Glyph* oldStore = gs->glyphs;

  ASSERT_EQ(addGlyph(gs, 5, 5), 512);
  EXPECT_EQ(gs->glyphCapacity, 1024u);
  EXPECT_NE(gs->glyphs, oldStore);
  for (uint32_t s = 0; s < 512; ++s) {
    EXPECT_EQ(std::memcmp(&gs->glyphs[s], &before[s], sizeof(Glyph)), 0) << s;
  }
  // The packing order survives, now referring to the moved records.
  for (uint32_t i = 0; i < 512; ++i) {
    ASSERT_EQ(gs->sortedGlyphs[i], &gs->glyphs[order[i]]) << i;
  }
  EXPECT_EQ(gs->sortedGlyphs[512], &gs->glyphs[512]);
  repackAtlas(gs);
  expectAtlasHoldsEveryGlyph(*gs);
}

TEST(GlyphStore, FullStoreRefusesFurtherRecordsAndSaysSoOnce) {
  Store st;
  GlyphSet* gs = st.gs.get();
  for (uint32_t n = 0; n < MAX_GLYPHS; ++n) ASSERT_EQ(addGlyph(gs, 0, 0), n);
  EXPECT_EQ(gs->glyphCapacity, MAX_GLYPHS);
  testing::internal::CaptureStderr();
  EXPECT_EQ(nextGlyphRecord(gs), nullptr);
  EXPECT_EQ(nextGlyphRecord(gs), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Out of glyph structure memory!");
  EXPECT_EQ(gs->glyphCount, MAX_GLYPHS);
}

TEST(GlyphAtlas, TallerGlyphsFirstAndTheSelfCheckStaysQuiet) {
  Glyph a{}, b{};
  a.y1 = 10;
  b.y1 = 30;
  EXPECT_EQ(compareGlyphHeight(&a, &b), 20);
  EXPECT_EQ(compareGlyphHeight(&b, &a), -20);
  Store st;
  for (int h : {3, 50, 7, 50, 0, 90, 12}) addGlyph(st.gs.get(), 4, h);
  testing::internal::CaptureStderr();
  sortGlyphs(st.gs.get());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  for (uint32_t i = 1; i < st.gs->glyphCount; ++i) {
    EXPECT_LE(compareGlyphHeight(st.gs->sortedGlyphs[i - 1], st.gs->sortedGlyphs[i]), 0);
  }
}

TEST(GlyphAtlas, FirstUploadAllocatesTheAtlasAndSpacesTakeNoTexels) {
  Store st;
  GlyphSet* gs = st.gs.get();
  addGlyph(gs, 30, 40);
  addGlyph(gs, 0, 0);   // a space
  addGlyph(gs, 0, 12);  // no columns
  addGlyph(gs, 20, 10);
  repackAtlas(gs);
  ASSERT_NE(gs->atlas, nullptr);
  EXPECT_EQ(gs->toHeight, 128u);
  EXPECT_EQ(gs->packed, 4u);
  expectAtlasHoldsEveryGlyph(*gs);
  // Only the two glyphs with pixels raised the skyline.
  EXPECT_EQ(gs->landscape[0], 40);
  EXPECT_EQ(gs->landscape[30], 10);
  EXPECT_EQ(gs->landscape[50], 0);
  // Texels outside every glyph are empty coverage.
  EXPECT_EQ(gs->atlas[100], 0);
}

TEST(GlyphAtlas, RandomGlyphSetsAcrossUploadsGrowthAndDoubling) {
  std::mt19937 rng(17);
  for (int round = 0; round < 4; ++round) {
    Store st;
    GlyphSet* gs = st.gs.get();
    uint32_t heights = 0;
    // Thousands of glyphs arriving a few hundred per frame, of the sizes the three faces give.
    while (gs->glyphCount < 3000) {
      const uint32_t batch = 1 + rng() % 400;
      for (uint32_t k = 0; k < batch; ++k) {
        const int32_t big = (rng() % 4 == 0) ? 90 : 50;
        addGlyph(gs, static_cast<int32_t>(rng() % big), static_cast<int32_t>(rng() % (big + 10)));
      }
      const uint32_t before = gs->toHeight;
      growAtlas(gs);
      ASSERT_TRUE(gs->toHeight == before || gs->toHeight % before == 0);
      if (gs->toHeight != before) ++heights;
      ASSERT_TRUE(skylineValid(*gs));
      expectAtlasHoldsEveryGlyph(*gs);
      ASSERT_FALSE(HasFatalFailure());
    }
    EXPECT_GE(heights, 2u);
    EXPECT_GT(gs->glyphCapacity, 512u);
  }
}

TEST(GlyphAtlas, OutOfHeightRefusesNewGlyphsAndKeepsEverythingPlacedBefore) {
  Store st;
  GlyphSet* gs = st.gs.get();
  std::mt19937 rng(5);
  // Fill most of a 4096 x 2048 atlas.
  while (gs->glyphCount < 1100) addGlyph(gs, 60 + rng() % 30, 90 + rng() % 6);
  growAtlas(gs);
  ASSERT_EQ(gs->toHeight, 2048u);
  expectAtlasHoldsEveryGlyph(*gs);
  const uint32_t placedBefore = gs->glyphCount;
  std::vector<Glyph> rects(gs->glyphs, gs->glyphs + placedBefore);
  std::vector<uint8_t> atlasBefore(gs->atlas, gs->atlas + size_t{4096} * 2048);

  // Far more tall glyphs than fit, and a few small ones.
  testing::internal::CaptureStderr();
  for (int n = 0; n < 600; ++n) addGlyph(gs, 80, 100);
  for (int n = 0; n < 20; ++n) addGlyph(gs, 3, 4);
  growAtlas(gs);
  for (int n = 0; n < 300; ++n) addGlyph(gs, 80, 100);
  growAtlas(gs);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Out of height for font atlas!\n");
  EXPECT_EQ(gs->toHeight, 2048u);
  expectAtlasHoldsEveryGlyph(*gs);

  // Everything placed before keeps its rectangle and its texels.
  for (uint32_t s = 0; s < placedBefore; ++s) {
    const Glyph& g = gs->glyphs[s];
    ASSERT_FALSE(g.refused);
    ASSERT_EQ(g.x0, rects[s].x0);
    ASSERT_EQ(g.y0, rects[s].y0);
    for (int32_t y = g.y0; y < g.y1; ++y) {
      ASSERT_EQ(std::memcmp(gs->atlas + size_t(y) * 4096 + g.x0, atlasBefore.data() + size_t(y) * 4096 + g.x0,
                            static_cast<size_t>(g.x1 - g.x0)),
                0);
    }
  }
  uint32_t refused = 0, smallPlaced = 0;
  for (uint32_t s = placedBefore; s < gs->glyphCount; ++s) {
    if (gs->glyphs[s].refused) ++refused;
    if (gs->glyphs[s].bitmapWidth == 3 && !gs->glyphs[s].refused) ++smallPlaced;
  }
  EXPECT_GT(refused, 0u);
  EXPECT_EQ(smallPlaced, 20u);  // small glyphs still find room beside the tall ones

  // Later uploads leave refused glyphs out and keep the others working.
  addGlyph(gs, 2, 2);
  growAtlas(gs);
  expectAtlasHoldsEveryGlyph(*gs);
  EXPECT_FALSE(gs->glyphs[gs->glyphCount - 1].refused);
}

TEST(GlyphAtlas, AnUploadWritesOnlyTheNewGlyphsRowsAndMovesNothing) {
  Store st;
  GlyphSet* gs = st.gs.get();
  std::mt19937 rng(11);
  while (gs->glyphCount < 1000) addGlyph(gs, 1 + rng() % 40, 1 + rng() % 60);
  growAtlas(gs);
  EXPECT_EQ(gs->dirtyTop, 0u);
  EXPECT_EQ(gs->dirtyBottom, gs->toHeight);  // a new bitmap: all of it
  for (int32_t h : {7, 0, 45}) {
    const std::vector<Glyph> before(gs->glyphs, gs->glyphs + gs->glyphCount);
    const std::vector<uint8_t> atlasBefore(gs->atlas, gs->atlas + size_t{4096} * gs->toHeight);
    const int64_t slot = addGlyph(gs, 9, h);
    growAtlas(gs);
    expectAtlasHoldsEveryGlyph(*gs);
    for (size_t s = 0; s < before.size(); ++s) {
      ASSERT_EQ(std::memcmp(&gs->glyphs[s], &before[s], sizeof(Glyph)), 0) << s;
    }
    const Glyph& g = gs->glyphs[slot];
    EXPECT_EQ(gs->dirtyTop, h ? static_cast<uint32_t>(g.y0) : 0u);
    EXPECT_EQ(gs->dirtyBottom, h ? static_cast<uint32_t>(g.y1) : 0u);
    for (uint32_t y = 0; y < gs->toHeight; ++y) {
      if (y >= gs->dirtyTop && y < gs->dirtyBottom) continue;
      ASSERT_EQ(std::memcmp(gs->atlas + size_t{y} * 4096, atlasBefore.data() + size_t{y} * 4096, 4096), 0) << y;
    }
  }
}

TEST(GlyphAtlas, ANewGlyphWithNoRoomOnTheSkylineLaysEverythingOutAfreshOnce) {
  Store st;
  GlyphSet* gs = st.gs.get();
  // Uploads of one glyph each, short and tall in turn, leave the skyline ragged; a fresh layout of
  // the same glyphs, tallest first, packs them much tighter.
  std::mt19937 rng(23);
  bool relaidOut = false;
  testing::internal::CaptureStderr();
  for (int n = 0; n < 4000 && !relaidOut; ++n) {
    const std::vector<Glyph> before(gs->glyphs, gs->glyphs + gs->glyphCount);
    addGlyph(gs, 40 + rng() % 60, n % 2 ? 8 : 120);
    growAtlas(gs);
    for (size_t s = 0; s < before.size() && !relaidOut; ++s) relaidOut = gs->glyphs[s].x0 != before[s].x0 || gs->glyphs[s].y0 != before[s].y0;
    ASSERT_FALSE(HasFatalFailure());
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_TRUE(relaidOut);
  expectAtlasHoldsEveryGlyph(*gs);
  for (uint32_t s = 0; s < gs->glyphCount; ++s) EXPECT_FALSE(gs->glyphs[s].refused) << s;
  EXPECT_EQ(gs->dirtyTop, 0u);
  // Everything was written again; a later upload is incremental once more.
  addGlyph(gs, 3, 3);
  const std::vector<Glyph> before(gs->glyphs, gs->glyphs + gs->glyphCount - 1);
  growAtlas(gs);
  for (size_t s = 0; s < before.size(); ++s) ASSERT_EQ(gs->glyphs[s].x0, before[s].x0) << s;
}
