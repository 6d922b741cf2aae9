// The text core: UTF-8 decoding, face choice, skyline packing, layout of runs into glyph batches
// over made-up glyphs, and the glyph store with its atlas (growth that keeps references and packing
// order, the store limit, uploads checked texel by texel, running out of atlas height).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "text/core/coverage.h"
#include "text/core/glyphset.h"
#include "text/core/layout.h"
#include "text/core/utf8.h"

using namespace tsm::text;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// Lookup values are the code point with the font word above bit 21 (the outline bit lands above the
// font id). A truncated sequence or a lead byte 0xF8-0xFF ends the run (every run ends: decoding always
// advances); a stray continuation byte shows the missing glyph whatever the font; continuation bits are
// not checked (overlong forms and surrogates pass unchanged).
TEST(Utf8, DecodesEachSequenceAndNeverReadsPastTheRun) {
  constexpr uint64_t ANY = ~uint64_t{0};  // where the run stops: not checked
  const struct { std::string bytes; uint32_t font; std::vector<uint32_t> lookups; uint64_t stop; } cases[] = {
      {"a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", 0, {'a', 0xE9, 0x20AC, 0x1F600}, 10},
      {"A", 2, {2u << 21 | 'A'}, 1}, {"A", 6, {6u << 21 | 'A'}, 1}, {"a\xE2\x82", 1, {1u << 21 | 'a'}, 3},
      {"\x80z", 2, {0x7FFF80, 2u << 21 | 'z'}, 2}, {"ab\xF8" "cd", 0, {'a', 'b'}, ANY}, {"\xFF", 0, {}, ANY},
      {"\xC0\x81", 0, {1}, 2}, {"\xED\xA0\x80", 0, {0xD800}, 3}, {"\xF7\xBF\xBF\xBF", 0, {0x1FFFFF}, 4},
      {"\xC3" "A", 0, {0xC1}, 2}, {"", 0, {}, 0},
  };
  for (const auto& c : cases) {
    const std::vector<uint8_t> bytes(c.bytes.begin(), c.bytes.end());  // exact size: the sanitizer sees any overread
    std::vector<uint32_t> got;
    uint64_t i = 0;
    uint32_t lookup;
    while (decodeNext(bytes.data(), bytes.size(), &i, c.font, &lookup)) got.push_back(lookup);
    EXPECT_EQ(got, c.lookups) << c.bytes;
    EXPECT_EQ(i, c.stop == ANY ? i : c.stop) << c.bytes;
  }
}

TEST(Coverage, FacesFollowTheirRows) {
  const struct { uint32_t font, codePoint; Face face; } cases[] = {
      {FONT_MONO, 'A', FACE_MONO}, {FONT_SANS, 'A', FACE_SANS}, {FONT_FALLBACK, 'A', FACE_FALLBACK},
      {FONT_FALLBACK_ALT, 'A', FACE_FALLBACK}, {FONT_MONO, 0x0391, FACE_MONO},  // Greek: the mono face's only
      {FONT_SANS, 0x0391, FACE_FALLBACK}, {FONT_SANS, 0x0915, FACE_FALLBACK}, {FONT_SANS, 0x0416, FACE_SANS},
      {FONT_MONO, 0x1F600, FACE_FALLBACK}, {FONT_SANS, 0x2116, FACE_SANS}, {FONT_SANS, 0x2117, FACE_FALLBACK},
  };
  for (const auto& c : cases) EXPECT_EQ(faceFor(c.font, c.codePoint), c.face) << c.font << " " << c.codePoint;
}

TEST(Skyline, RowsBandsDoublingAndTheRightEdge) {
  auto s = std::make_unique<Skyline>();
  resetSkyline(s.get(), 128);
  PackedRect a, b, c, d;
  ASSERT_TRUE(packRect(s.get(), 4000, 20, &a) && packRect(s.get(), 96, 10, &b));
  EXPECT_TRUE(b.x0 == 4000 && b.y0 == 0);
  // The row is full: the next starts at the band start, on top of the tallest glyph.
  ASSERT_TRUE(packRect(s.get(), 10, 10, &c));
  EXPECT_TRUE(c.x0 == 0 && c.y0 == 20);
  // Spaces take nothing and leave the skyline as it was.
  ASSERT_TRUE(packRect(s.get(), 0, 0, &d));
  EXPECT_TRUE(d.x0 == d.x1 && s->landscape[11] == 20);
  // The height doubles up to 2048; the next doubling would reach 4096: refused, nothing changes.
  resetSkyline(s.get(), 128);
  ASSERT_TRUE(packRect(s.get(), 10, 1000, &a));
  EXPECT_EQ(s->toHeight, 1024u);
  ASSERT_TRUE(packRect(s.get(), 10, 2048, &a));
  EXPECT_EQ(s->toHeight, 2048u);
  const Skyline before = *s;
  EXPECT_FALSE(packRect(s.get(), 4096, 1, &a) || packRect(s.get(), 5000, 1, &a));
  EXPECT_EQ(std::memcmp(&before, s.get(), sizeof before), 0);
  EXPECT_TRUE(packRect(s.get(), 10, 10, &a));
  // A zero-width rectangle at the right edge reads no column past it.
  resetSkyline(s.get(), 128);
  ASSERT_TRUE(packRect(s.get(), 4096, 5, &a) && packRect(s.get(), 0, 7, &a));
  EXPECT_TRUE(a.x0 == 4096 && a.y0 == 0 && skylineValid(*s));
}

namespace {
// Made-up glyphs by code point; any other code point has none, which ends the run. At 48 px: 'a'
// (face of 96 px) is drawn at half size and advances 20; 'b' (16 px) at three times and advances 30;
// ' ' has no bitmap and advances 24.
const GlyphMetrics* madeUpGlyph(uint32_t value, int* lookups) {
  static const GlyphMetrics a{100, 20, 130, 60, 3, 35, 40 * 64, 0, 96}, b{0, 0, 10, 10, 0, 10, 10 * 64, 0, 16},
      space{5, 5, 5, 5, 0, 0, 8 * 64, 0, 16};
  ++*lookups;
  value &= 0x1FFFFF;
  return value == 'a' ? &a : value == 'b' ? &b : value == ' ' ? &space : nullptr;
}

// Runs laid out from the pen (10, 200) at 48 px into arrays for every triangle a batch can hold.
struct LaidRun {
  std::vector<float> positions = std::vector<float>(9 * MAX_BATCH_TRIANGLES), texcoords = std::vector<float>(6 * MAX_BATCH_TRIANGLES),
                     colors = std::vector<float>(12 * MAX_BATCH_TRIANGLES);
  GlyphBatch batch;
  int lookups = 0;
  explicit LaidRun(uint16_t start, bool arrays = true) : batch{positions.data(), texcoords.data(), colors.data(), start} {
    if (!arrays) batch.positions = batch.texcoords = batch.colors = nullptr;
  }
  void layout(const std::string& text, uint32_t maxWidth) {
    static constexpr float COLOUR[4] = {1.0f, 0.25f, 0.75f, 0.5f};
    layoutGlyphRun(reinterpret_cast<const uint8_t*>(text.data()), text.size(), 10.0f, 200.0f, 48.0f, 0, maxWidth, COLOUR,
                   &batch, [this](uint32_t v) { return madeUpGlyph(v, &lookups); });
  }
  // Screen rectangle (x0, y0, x1, y1) of the quad at triangle t, from its first and last vertex.
  std::vector<float> rect(uint32_t t) const { return {positions[9 * t], positions[9 * t + 1], positions[9 * t + 15], positions[9 * t + 16]}; }
};
}  // namespace

// Widths are the scaled advances up to the first character without a glyph. Quads: x0 = pen + left *
// scale, x1 = x0 + squeezed bitmap width, y0 = 200 - top * scale, y1 = y0 + bitmap height. Glyphs are
// looked up once per character, twice when measured first for a width limit; without arrays nothing is
// written, but the run is still measured (that loads its glyphs).
TEST(Layout, WidthsAndQuadsFollowThePenScaleAndSqueeze) {
  const std::vector<float> A = {11.5f, 182.5f, 26.5f, 202.5f};
  const struct { const char* text; uint32_t maxWidth; float width; std::vector<std::vector<float>> rects; int lookups; } cases[] = {
      {"ab", 0, 50, {A, {30, 170, 60, 200}}, 2}, {"ab", 100, 50, {A, {30, 170, 60, 200}}, 4},
      {"ab", 25, 50, {{11.5f, 182.5f, 19, 202.5f}, {20, 170, 35, 200}}, 4},  // 50 px in 25: steps and bitmaps halved
      {"ba", 0, 50, {{10, 170, 40, 200}, {41.5f, 182.5f, 56.5f, 202.5f}}, 2},  // the scale follows each face
      {"a b", 0, 74, {A, {30, 200, 30, 200}, {54, 170, 84, 200}}, 3}, {"a?b", 0, 20, {A}, 2},  // no glyph: the run ends
      {"", 0, 0, {}, 0}, {"\xC3", 0, 0, {}, 0},
  };
  for (const auto& c : cases) {
    int lookups = 0;
    for (float size : {48.0f, 24.0f})
      EXPECT_EQ(measureGlyphRun(reinterpret_cast<const uint8_t*>(c.text), std::strlen(c.text), size, 0,
                                [&](uint32_t v) { return madeUpGlyph(v, &lookups); }), c.width * size / 48) << c.text << " at " << size;
    LaidRun run(0), unattached(7, false);
    run.layout(c.text, c.maxWidth);
    unattached.layout(c.text, c.maxWidth);
    ASSERT_EQ(run.batch.triangleCount, 2 * c.rects.size()) << c.text;
    for (uint32_t q = 0; q < c.rects.size(); ++q) EXPECT_EQ(run.rect(2 * q), c.rects[q]) << c.text << " quad " << q;
    EXPECT_EQ(run.lookups, c.lookups) << c.text << " " << c.maxWidth;
    EXPECT_EQ(unattached.lookups, c.maxWidth ? c.lookups / 2 : c.lookups) << c.text << " " << c.maxWidth;
    EXPECT_EQ(unattached.batch.triangleCount, 7);
  }
  // Two triangles, sampling half a texel inside the glyph's (100, 20)-(130, 60), in the colour; a second
  // run appends from its own pen; with room for one more quad 'a' lands at 65532 and 'b' is dropped.
  LaidRun run(0), full(65532);
  run.layout("a", 0), run.layout("b", 0), full.layout("ab", 0);
  const float x0 = 11.5f, y0 = 182.5f, x1 = 26.5f, y1 = 202.5f, u0 = 100.5f, v0 = 20.5f, u1 = 129.5f, v1 = 59.5f;
  EXPECT_EQ(std::vector<float>(run.positions.begin(), run.positions.begin() + 18),
            (std::vector<float>{x0, y0, 0, x0, y1, 0, x1, y0, 0, x0, y1, 0, x1, y0, 0, x1, y1, 0}));
  EXPECT_EQ(std::vector<float>(run.texcoords.begin(), run.texcoords.begin() + 12), (std::vector<float>{u0, v0, u0, v1, u1, v0, u0, v1, u1, v0, u1, v1}));
  for (int v = 0; v < 6; ++v) EXPECT_EQ(std::vector<float>(&run.colors[4 * v], &run.colors[4 * v + 4]), (std::vector<float>{1, 0.25f, 0.75f, 0.5f}));
  EXPECT_TRUE(run.batch.triangleCount == 4 && run.rect(2) == (std::vector<float>{10, 170, 40, 200}));
  EXPECT_TRUE(full.batch.triangleCount == 65534 && full.rect(65532) == A && full.positions[9 * 65534] == 0.0f);
}

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
  g->x1 = g->bitmapWidth = w, g->y1 = g->bitmapRows = h, g->key = slot, g->pixelSize = 16;
  if (w > 0 && h > 0) g->bitmap = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(w) * h));
  for (int32_t i = 0; w > 0 && i < w * h; ++i) g->bitmap[i] = texelOf(slot, i % w, i / w);
  commitGlyphRecord(gs, g);
  return slot;
}

// Every placed glyph inside 4096 x toHeight with its bitmap's size, no texel shared, and the atlas
// holding each glyph's bitmap under its rectangle; refused glyphs have empty rectangles.
void expectAtlasHoldsEveryGlyph(const GlyphSet& gs) {
  ASSERT_TRUE(gs.atlasHeight == gs.toHeight && gs.toHeight < ATLAS_MAX_HEIGHT && skylineValid(gs));
  std::vector<uint32_t> owner(static_cast<size_t>(gs.width) * gs.toHeight, UINT32_MAX);
  for (uint32_t s = 0; s < gs.glyphCount; ++s) {
    const Glyph& g = gs.glyphs[s];
    ASSERT_EQ(g.slot, s);
    ASSERT_TRUE(g.refused ? g.x0 == g.x1 && g.y0 == g.y1 : g.x1 - g.x0 == g.bitmapWidth && g.y1 - g.y0 == g.bitmapRows) << s;
    ASSERT_TRUE(g.x0 >= 0 && g.y0 >= 0 && g.x1 <= static_cast<int32_t>(gs.width) && g.y1 <= static_cast<int32_t>(gs.toHeight)) << s;
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

// Uploads what was added and answers whether any glyph placed before moved (a fresh layout of all).
// The rows marked changed are those of the glyphs written (the new ones, or all after a fresh layout),
// or every row of a new bitmap; an upload that moves nothing leaves every other row alone.
bool upload(GlyphSet* gs, bool checkAtlas = true) {
  const uint32_t packed = gs->packed, height = gs->atlasHeight;
  const bool newBitmap = !gs->atlas;
  const std::vector<Glyph> before(gs->glyphs, gs->glyphs + packed);
  std::vector<uint8_t> atlas;
  if (checkAtlas && gs->atlas) atlas.assign(gs->atlas, gs->atlas + size_t{4096} * height);
  growAtlas(gs);
  bool moved = false;
  for (uint32_t s = 0; s < packed; ++s) moved = moved || gs->glyphs[s].x0 != before[s].x0 || gs->glyphs[s].y0 != before[s].y0;
  uint32_t top = UINT32_MAX, bottom = 0;
  for (uint32_t s = moved ? 0 : packed; s < gs->glyphCount; ++s) {
    const Glyph& g = gs->glyphs[s];
    if (g.x1 > g.x0 && g.y1 > g.y0) top = std::min(top, uint32_t(g.y0)), bottom = std::max(bottom, uint32_t(g.y1));
  }
  if (newBitmap || height != gs->atlasHeight) top = 0, bottom = gs->toHeight;
  EXPECT_EQ(gs->dirtyTop, bottom ? top : 0);
  EXPECT_EQ(gs->dirtyBottom, bottom);
  if (!checkAtlas) return moved;
  expectAtlasHoldsEveryGlyph(*gs);
  for (uint32_t y = 0; !moved && !newBitmap && height == gs->atlasHeight && y < height; ++y) {
    const bool same = std::memcmp(gs->atlas + size_t{y} * 4096, atlas.data() + size_t{y} * 4096, 4096) == 0;
    EXPECT_TRUE(same || (y >= gs->dirtyTop && y < gs->dirtyBottom)) << "row " << y << " changed";
  }
  return moved;
}
}  // namespace

TEST(GlyphStore, The513thRecordGrowsTheStoreKeepingContentsAndPackingOrder) {
  Store st;
  GlyphSet* gs = st.gs.get();
  EXPECT_TRUE(gs->atlas == nullptr && gs->glyphCapacity == 512u);
  std::mt19937 rng(3);
  for (int n = 0; n < 512; ++n) addGlyph(gs, 1 + rng() % 40, 1 + rng() % 90);
  repackAtlas(gs);
  std::vector<uint32_t> order;
  const std::vector<Glyph> before(gs->glyphs, gs->glyphs + 512);
  for (uint32_t i = 0; i < 512; ++i) order.push_back(gs->sortedGlyphs[i]->slot);
  const Glyph* oldStore = gs->glyphs;
  ASSERT_EQ(addGlyph(gs, 5, 5), 512);
  EXPECT_TRUE(gs->glyphCapacity == 1024u && gs->glyphs != oldStore);
  for (uint32_t s = 0; s < 512; ++s) {
    ASSERT_EQ(std::memcmp(&gs->glyphs[s], &before[s], sizeof(Glyph)), 0) << s;
    ASSERT_EQ(gs->sortedGlyphs[s], &gs->glyphs[order[s]]) << s;  // now referring to the moved records
  }
  EXPECT_EQ(gs->sortedGlyphs[512], &gs->glyphs[512]);
  repackAtlas(gs);
  expectAtlasHoldsEveryGlyph(*gs);
}

TEST(GlyphStore, FullStoreRefusesFurtherRecordsAndSaysSoOnce) {
  Store st;
  for (uint32_t n = 0; n < MAX_GLYPHS; ++n) ASSERT_EQ(addGlyph(st.gs.get(), 0, 0), n);
  CaptureStderr();
  EXPECT_TRUE(nextGlyphRecord(st.gs.get()) == nullptr && nextGlyphRecord(st.gs.get()) == nullptr);
  EXPECT_EQ(GetCapturedStderr(), "Error: Out of glyph structure memory!");
  EXPECT_EQ(st.gs->glyphCount, MAX_GLYPHS);
}

TEST(GlyphAtlas, TallerFirstAndSpacesTakeNoTexels) {
  Glyph a{}, b{};
  a.y1 = 10, b.y1 = 30;
  EXPECT_TRUE(compareGlyphHeight(&a, &b) == 20 && compareGlyphHeight(&b, &a) == -20);
  Store st;
  GlyphSet* gs = st.gs.get();
  for (auto [w, h] : {std::pair{30, 40}, {0, 0}, {0, 12}, {20, 10}, {4, 50}, {4, 7}}) addGlyph(gs, w, h);
  CaptureStderr();
  sortGlyphs(gs);
  EXPECT_EQ(GetCapturedStderr(), "") << "the sort's self-check stays quiet";
  for (uint32_t i = 1; i < gs->glyphCount; ++i) EXPECT_LE(compareGlyphHeight(gs->sortedGlyphs[i - 1], gs->sortedGlyphs[i]), 0);
  repackAtlas(gs);
  EXPECT_EQ(gs->packed, 6u);
  expectAtlasHoldsEveryGlyph(*gs);
  // Only the glyphs with pixels raised the skyline: 50, 40, 10 and 7 high, tallest first.
  EXPECT_EQ(std::vector<int32_t>({gs->landscape[0], gs->landscape[4], gs->landscape[34], gs->landscape[54], gs->landscape[58]}),
            (std::vector<int32_t>{50, 40, 10, 7, 0}));
  EXPECT_EQ(gs->atlas[size_t{4096} * 60], 0) << "texels outside every glyph are empty coverage";
}

// Thousands of glyphs arriving a few hundred per frame, of the sizes the three faces give.
TEST(GlyphAtlas, RandomGlyphSetsAcrossUploadsGrowthAndDoubling) {
  std::mt19937 rng(17);
  for (int round = 0; round < 4; ++round) {
    Store st;
    GlyphSet* gs = st.gs.get();
    uint32_t heights = 0;
    while (gs->glyphCount < 3000) {
      for (uint32_t k = 0, batch = 1 + rng() % 400; k < batch; ++k) {
        const int32_t big = (rng() % 4 == 0) ? 90 : 50;
        addGlyph(gs, static_cast<int32_t>(rng() % big), static_cast<int32_t>(rng() % (big + 10)));
      }
      const uint32_t before = gs->toHeight;
      upload(gs);
      ASSERT_TRUE(gs->toHeight == before || gs->toHeight % before == 0);
      heights += gs->toHeight != before;
      ASSERT_FALSE(HasFatalFailure());
    }
    EXPECT_GE(heights, 2u);
  }
  Store st;
  for (std::mt19937 r(11); st.gs->glyphCount < 1000;) addGlyph(st.gs.get(), 1 + r() % 40, 1 + r() % 60);
  upload(st.gs.get());
  for (int32_t h : {7, 0, 45}) {
    addGlyph(st.gs.get(), 9, h);
    EXPECT_FALSE(upload(st.gs.get())) << "a glyph with room on the skyline moves nothing";
  }
}

// Uploads of one glyph each, short and tall in turn, leave the skyline ragged; a new glyph with no room
// on it lays everything out afresh, once, with no glyph refused and nothing logged.
TEST(GlyphAtlas, ANewGlyphWithNoRoomOnTheSkylineLaysEverythingOutAfreshOnce) {
  Store st;
  GlyphSet* gs = st.gs.get();
  std::mt19937 rng(23);
  CaptureStderr();
  int n = 0;
  for (bool relaidOut = false; !relaidOut && n < 4000; ++n) addGlyph(gs, 40 + rng() % 60, n % 2 ? 8 : 120), relaidOut = upload(gs, false);
  EXPECT_EQ(GetCapturedStderr(), "");
  ASSERT_TRUE(n < 4000 && !HasFailure());
  expectAtlasHoldsEveryGlyph(*gs);
  for (uint32_t s = 0; s < gs->glyphCount; ++s) EXPECT_FALSE(gs->glyphs[s].refused) << s;
  addGlyph(gs, 3, 3);
  EXPECT_FALSE(upload(gs)) << "later uploads are incremental again";
}

TEST(GlyphAtlas, OutOfHeightRefusesNewGlyphsAndKeepsEverythingPlacedBefore) {
  Store st;
  GlyphSet* gs = st.gs.get();
  std::mt19937 rng(5);
  while (gs->glyphCount < 1100) addGlyph(gs, 60 + rng() % 30, 90 + rng() % 6);  // most of 4096 x 2048
  upload(gs);
  ASSERT_EQ(gs->toHeight, 2048u);
  const uint32_t placedBefore = gs->glyphCount;
  // Far more tall glyphs than fit, and a few small ones.
  CaptureStderr();
  for (int n = 0; n < 600; ++n) addGlyph(gs, 80, 100);
  for (int n = 0; n < 20; ++n) addGlyph(gs, 3, 4);
  EXPECT_FALSE(upload(gs)) << "what was placed stays where it is";
  for (int n = 0; n < 300; ++n) addGlyph(gs, 80, 100);
  EXPECT_FALSE(upload(gs));
  EXPECT_EQ(GetCapturedStderr(), "Error: Out of height for font atlas!\n");
  EXPECT_EQ(gs->toHeight, 2048u);
  for (uint32_t s = 0; s < placedBefore; ++s) ASSERT_FALSE(gs->glyphs[s].refused) << s;
  uint32_t refused = 0, smallPlaced = 0;
  for (uint32_t s = placedBefore; s < gs->glyphCount; ++s) {
    refused += gs->glyphs[s].refused;
    smallPlaced += gs->glyphs[s].bitmapWidth == 3 && !gs->glyphs[s].refused;
  }
  EXPECT_GT(refused, 0u);
  EXPECT_EQ(smallPlaced, 20u) << "small glyphs still find room beside the tall ones";
  // Later uploads leave refused glyphs out and keep the others working.
  addGlyph(gs, 2, 2);
  upload(gs);
  EXPECT_FALSE(gs->glyphs[gs->glyphCount - 1].refused);
}
