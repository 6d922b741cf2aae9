// Text's pure pieces: UTF-8 decoding, face choice, skyline packing, and layout of runs into glyph
// batches over a lookup of made-up glyphs.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "text/core/coverage.h"
#include "text/core/layout.h"
#include "text/core/skyline.h"
#include "text/core/utf8.h"

using namespace tsm::text;

namespace {
// Lookup values of a run until it ends, and where the index stopped.
std::vector<uint32_t> decodeAll(const std::string& bytes, uint32_t font, uint64_t* stoppedAt = nullptr) {
  std::vector<uint32_t> out;
  uint64_t i = 0;
  uint32_t lookup;
  const auto* text = reinterpret_cast<const uint8_t*>(bytes.data());
  while (decodeNext(text, bytes.size(), &i, font, &lookup)) out.push_back(lookup);
  if (stoppedAt) *stoppedAt = i;
  return out;
}
}  // namespace

TEST(Utf8, DecodesEachSequenceLength) {
  EXPECT_EQ(decodeAll("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", 0),
            (std::vector<uint32_t>{'a', 0xE9, 0x20AC, 0x1F600}));
  EXPECT_EQ(decodeAll("A", 2), (std::vector<uint32_t>{2u << 21 | 'A'}));
  // The font word shifts as a whole: the outline bit lands above the font id.
  EXPECT_EQ(decodeAll("A", 6), (std::vector<uint32_t>{6u << 21 | 'A'}));
}

TEST(Utf8, MalformedInputNeverReadsPastTheRun) {
  uint64_t stopped;
  // A truncated sequence ends the run: only "a" is drawn.
  EXPECT_EQ(decodeAll("a\xE2\x82", 1, &stopped), (std::vector<uint32_t>{1u << 21 | 'a'}));
  EXPECT_EQ(stopped, 3u);
  // A stray continuation byte shows the missing glyph whatever the font.
  EXPECT_EQ(decodeAll("\x80z", 2), (std::vector<uint32_t>{0x7FFF80, 2u << 21 | 'z'}));
  // Lead bytes 0xF8-0xFF end the run.
  EXPECT_EQ(decodeAll("ab\xF8" "cd", 0), (std::vector<uint32_t>{'a', 'b'}));
  EXPECT_EQ(decodeAll("\xFF", 0), (std::vector<uint32_t>{}));
  // Continuation bits are not checked; overlong forms and surrogates pass unchanged.
  EXPECT_EQ(decodeAll("\xC0\x81", 0), (std::vector<uint32_t>{1}));
  EXPECT_EQ(decodeAll("\xED\xA0\x80", 0), (std::vector<uint32_t>{0xD800}));
  EXPECT_EQ(decodeAll("\xF7\xBF\xBF\xBF", 0), (std::vector<uint32_t>{0x1FFFFF}));
  EXPECT_EQ(decodeAll("\xC3" "A", 0), (std::vector<uint32_t>{0xC1}));
  EXPECT_EQ(decodeAll("", 0), (std::vector<uint32_t>{}));
}

TEST(Utf8, RandomBytesAlwaysAdvanceAndStayInside) {
  std::mt19937 rng(7);
  for (int run = 0; run < 2000; ++run) {
    const size_t n = rng() % 12;
    auto bytes = std::make_unique<uint8_t[]>(n ? n : 1);  // exact size: the sanitizer sees any overread
    for (size_t k = 0; k < n; ++k) bytes[k] = static_cast<uint8_t>(rng());
    uint64_t i = 0, before = 0;
    uint32_t lookup;
    while (decodeNext(bytes.get(), n, &i, 1, &lookup)) {
      ASSERT_GT(i, before);
      ASSERT_LE(i, n);
      before = i;
    }
    ASSERT_LE(i, n);
  }
}

TEST(Coverage, FacesFollowTheirRows) {
  EXPECT_EQ(coverageRanges[0][0], 0x0400u);
  EXPECT_EQ(coverageRanges[39][0], 0xFFFDu);
  EXPECT_EQ(coverageRanges[50][0], 0x0370u);
  EXPECT_EQ(coverageRanges[50][1], 0x03FFu);
  EXPECT_EQ(faceFor(FONT_MONO, 'A'), FACE_MONO);
  EXPECT_EQ(faceFor(FONT_SANS, 'A'), FACE_SANS);
  EXPECT_EQ(faceFor(FONT_FALLBACK, 'A'), FACE_FALLBACK);
  EXPECT_EQ(faceFor(FONT_FALLBACK_ALT, 'A'), FACE_FALLBACK);
  // Greek: row 50 is the mono face's only.
  EXPECT_EQ(faceFor(FONT_MONO, 0x0391), FACE_MONO);
  EXPECT_EQ(faceFor(FONT_SANS, 0x0391), FACE_FALLBACK);
  EXPECT_EQ(faceFor(FONT_SANS, 0x0915), FACE_FALLBACK);  // Devanagari
  EXPECT_EQ(faceFor(FONT_SANS, 0x0416), FACE_SANS);      // Cyrillic
  EXPECT_EQ(faceFor(FONT_MONO, 0x1F600), FACE_FALLBACK);
  EXPECT_EQ(faceFor(FONT_SANS, 0x2116), FACE_SANS);      // a single code point row
  EXPECT_EQ(faceFor(FONT_SANS, 0x2117), FACE_FALLBACK);
}

namespace {
struct Placed {
  PackedRect r;
  int32_t w, h;
};

// Brute-force check: every rectangle inside the atlas, its size kept, and no two sharing a texel.
void expectDisjoint(const std::vector<Placed>& placed, const Skyline& s) {
  std::vector<Placed> sorted = placed;
  std::sort(sorted.begin(), sorted.end(), [](const Placed& a, const Placed& b) { return a.r.x0 < b.r.x0; });
  for (size_t i = 0; i < sorted.size(); ++i) {
    const PackedRect& a = sorted[i].r;
    ASSERT_EQ(a.x1 - a.x0, sorted[i].w);
    ASSERT_EQ(a.y1 - a.y0, sorted[i].h);
    ASSERT_GE(a.x0, 0);
    ASSERT_GE(a.y0, 0);
    ASSERT_LE(a.x1, static_cast<int32_t>(s.width));
    ASSERT_LE(a.y1, static_cast<int32_t>(s.toHeight));
    if (a.x0 == a.x1 || a.y0 == a.y1) continue;
    for (size_t j = i + 1; j < sorted.size() && sorted[j].r.x0 < a.x1; ++j) {
      const PackedRect& b = sorted[j].r;
      if (b.x0 == b.x1 || b.y0 == b.y1) continue;
      const bool overlap = b.x0 < a.x1 && a.x0 < b.x1 && b.y0 < a.y1 && a.y0 < b.y1;
      ASSERT_FALSE(overlap) << i << " and " << j;
    }
  }
}
}  // namespace

TEST(Skyline, RandomGlyphSetsNeverOverlapAcrossGrowthAndDoubling) {
  auto s = std::make_unique<Skyline>();
  std::mt19937 rng(11);
  for (int round = 0; round < 12; ++round) {
    resetSkyline(s.get(), ATLAS_START_HEIGHT);
    // Repacks run over glyphs sorted tallest first; odd rounds also try unsorted input.
    const size_t n = 500 + rng() % 3000;
    std::vector<std::pair<int32_t, int32_t>> sizes(n);
    for (auto& wh : sizes) wh = {static_cast<int32_t>(rng() % 60), static_cast<int32_t>(rng() % 100)};
    if (round % 2 == 0) std::sort(sizes.begin(), sizes.end(), [](auto& a, auto& b) { return a.second > b.second; });
    std::vector<Placed> placed;
    uint32_t heightBefore = s->toHeight;
    for (auto [w, h] : sizes) {
      PackedRect r;
      if (!packRect(s.get(), w, h, &r)) {
        // Refused only when the atlas has no doubling left.
        ASSERT_EQ(s->toHeight, ATLAS_MAX_HEIGHT / 2);
        continue;
      }
      placed.push_back({r, w, h});
      ASSERT_TRUE(s->toHeight == heightBefore || s->toHeight == 2 * heightBefore);
      heightBefore = s->toHeight;
      ASSERT_TRUE(skylineValid(*s));
    }
    expectDisjoint(placed, *s);
  }
}

TEST(Skyline, RowsOfFallingHeightAndBandRestart) {
  auto s = std::make_unique<Skyline>();
  resetSkyline(s.get(), 128);
  PackedRect a, b, c, d;
  ASSERT_TRUE(packRect(s.get(), 4000, 20, &a));
  ASSERT_TRUE(packRect(s.get(), 96, 10, &b));
  EXPECT_EQ(b.x0, 4000);
  EXPECT_EQ(b.y0, 0);
  // The row is full: the next starts at the band start, on top of the tallest glyph.
  ASSERT_TRUE(packRect(s.get(), 10, 10, &c));
  EXPECT_EQ(c.x0, 0);
  EXPECT_EQ(c.y0, 20);
  // Spaces take nothing and leave the skyline as it was.
  ASSERT_TRUE(packRect(s.get(), 0, 0, &d));
  EXPECT_EQ(d.x0, d.x1);
  EXPECT_EQ(s->landscape[11], 20);
}

TEST(Skyline, HeightDoublesUpTo2048AndRefusesBeyond) {
  auto s = std::make_unique<Skyline>();
  resetSkyline(s.get(), 128);
  PackedRect r;
  ASSERT_TRUE(packRect(s.get(), 10, 1000, &r));
  EXPECT_EQ(s->toHeight, 1024u);
  ASSERT_TRUE(packRect(s.get(), 10, 2048, &r));
  EXPECT_EQ(s->toHeight, 2048u);
  // The next doubling would reach 4096: the rectangle is refused and nothing changes.
  const Skyline before = *s;
  EXPECT_FALSE(packRect(s.get(), 4096, 1, &r));
  EXPECT_FALSE(packRect(s.get(), 5000, 1, &r));
  EXPECT_EQ(s->toHeight, 2048u);
  EXPECT_EQ(s->cursor, before.cursor);
  EXPECT_TRUE(std::equal(std::begin(s->landscape), std::end(s->landscape), std::begin(before.landscape)));
  // Something that fits still packs.
  EXPECT_TRUE(packRect(s.get(), 10, 10, &r));
}

TEST(Skyline, ZeroWidthAtTheRightEdgeReadsNothing) {
  auto s = std::make_unique<Skyline>();
  resetSkyline(s.get(), 128);
  PackedRect r;
  ASSERT_TRUE(packRect(s.get(), 4096, 5, &r));
  EXPECT_EQ(s->cursor, 4096);
  ASSERT_TRUE(packRect(s.get(), 0, 7, &r));
  EXPECT_EQ(r.x0, 4096);
  EXPECT_EQ(r.y0, 0);
  EXPECT_TRUE(skylineValid(*s));
}

namespace {
// Made-up glyphs by code point; any other code point has none, which ends the run. At 48 px:
// 'a' (face of 96 px) is drawn at half size and advances 20; 'b' (16 px) at three times and
// advances 30; ' ' has no bitmap and advances 24.
const GlyphMetrics* madeUpGlyph(uint32_t value, int* lookups) {
  static const GlyphMetrics a{100, 20, 130, 60, 3, 35, 40 * 64, 0, 96};
  static const GlyphMetrics b{0, 0, 10, 10, 0, 10, 10 * 64, 0, 16};
  static const GlyphMetrics space{5, 5, 5, 5, 0, 0, 8 * 64, 0, 16};
  ++*lookups;
  switch (value & 0x1FFFFF) {
    case 'a': return &a;
    case 'b': return &b;
    case ' ': return &space;
    default: return nullptr;
  }
}

struct LaidRun {
  std::vector<float> positions, texcoords, colors;
  GlyphBatch batch;
  int lookups = 0;
  explicit LaidRun(uint16_t start, bool arrays = true)
      : positions(9 * MAX_BATCH_TRIANGLES), texcoords(6 * MAX_BATCH_TRIANGLES), colors(12 * MAX_BATCH_TRIANGLES) {
    batch = arrays ? GlyphBatch{positions.data(), texcoords.data(), colors.data(), start}
                   : GlyphBatch{nullptr, nullptr, nullptr, start};
  }
  void layout(const std::string& text, uint32_t maxWidth, const float color[4]) {
    layoutGlyphRun(reinterpret_cast<const uint8_t*>(text.data()), text.size(), 10.0f, 200.0f, 48.0f, 0, maxWidth,
                   color, &batch, [this](uint32_t v) { return madeUpGlyph(v, &lookups); });
  }
  // Screen rectangle (x0, y0, x1, y1) of the quad at triangle t, from its first and last vertex.
  std::vector<float> rect(uint32_t t) const {
    const float* p = positions.data() + 9 * t;
    return {p[0], p[1], p[15], p[16]};
  }
};

constexpr float RED[4] = {1.0f, 0.0f, 0.0f, 0.5f};
}  // namespace

TEST(Layout, MeasuresAdvancesAtTheRequestedSize) {
  const struct {
    const char* text;
    float size;
    float width;
  } cases[] = {
      {"", 48, 0}, {"ab", 48, 50}, {"a b", 48, 74}, {"ab", 24, 25}, {"a?b", 48, 20},  // '?' has no glyph
      {"\xC3", 48, 0},                                                                // truncated: nothing
  };
  for (const auto& c : cases) {
    int lookups = 0;
    const std::string text = c.text;
    EXPECT_EQ(measureGlyphRun(reinterpret_cast<const uint8_t*>(text.data()), text.size(), c.size, 0,
                              [&](uint32_t v) { return madeUpGlyph(v, &lookups); }),
              c.width)
        << c.text << " at " << c.size;
  }
}

TEST(Layout, QuadsFollowThePenScaleAndSqueeze) {
  // Pen at (10, 200), 48 px. Each quad: x0 = pen + left * scale, x1 = x0 + squeezed bitmap width,
  // y0 = 200 - top * scale, y1 = y0 + bitmap height.
  const struct {
    const char* text;
    uint32_t maxWidth;
    std::vector<std::vector<float>> rects;
  } cases[] = {
      {"ab", 0, {{11.5f, 182.5f, 26.5f, 202.5f}, {30, 170, 60, 200}}},
      {"ab", 100, {{11.5f, 182.5f, 26.5f, 202.5f}, {30, 170, 60, 200}}},
      // 50 px wide in 25: pen steps and bitmaps at half width, bearings kept.
      {"ab", 25, {{11.5f, 182.5f, 19, 202.5f}, {20, 170, 35, 200}}},
      // The scale follows each glyph's face size.
      {"ba", 0, {{10, 170, 40, 200}, {41.5f, 182.5f, 56.5f, 202.5f}}},
      {"a b", 0, {{11.5f, 182.5f, 26.5f, 202.5f}, {30, 200, 30, 200}, {54, 170, 84, 200}}},
      // A character without a glyph ends the run.
      {"a?b", 0, {{11.5f, 182.5f, 26.5f, 202.5f}}},
  };
  for (const auto& c : cases) {
    LaidRun run(0);
    run.layout(c.text, c.maxWidth, RED);
    ASSERT_EQ(run.batch.triangleCount, 2 * c.rects.size()) << c.text;
    for (uint32_t q = 0; q < c.rects.size(); ++q) EXPECT_EQ(run.rect(2 * q), c.rects[q]) << c.text << " quad " << q;
  }
}

TEST(Layout, WritesTwoTrianglesWithInsetTexelsInTheColour) {
  LaidRun run(0);
  run.layout("a", 0, RED);
  ASSERT_EQ(run.batch.triangleCount, 2);
  const float x0 = 11.5f, y0 = 182.5f, x1 = 26.5f, y1 = 202.5f;
  EXPECT_EQ(std::vector<float>(run.positions.begin(), run.positions.begin() + 18),
            (std::vector<float>{x0, y0, 0, x0, y1, 0, x1, y0, 0, x0, y1, 0, x1, y0, 0, x1, y1, 0}));
  // Half a texel inside the glyph's rectangle (100, 20)-(130, 60).
  EXPECT_EQ(std::vector<float>(run.texcoords.begin(), run.texcoords.begin() + 12),
            (std::vector<float>{100.5f, 20.5f, 100.5f, 59.5f, 129.5f, 20.5f, 100.5f, 59.5f, 129.5f, 20.5f, 129.5f,
                                59.5f}));
  for (int v = 0; v < 6; ++v)
    EXPECT_EQ(std::vector<float>(run.colors.begin() + 4 * v, run.colors.begin() + 4 * v + 4),
              std::vector<float>(RED, RED + 4));
}

TEST(Layout, AppendsAfterTheCountAndDropsQuadsPastTheLimit) {
  // Room for one more quad: 'a' lands at triangle 65532, 'b' is dropped, nothing past is written.
  LaidRun full(65532);
  full.layout("ab", 0, RED);
  EXPECT_EQ(full.batch.triangleCount, 65534);
  EXPECT_EQ(full.rect(65532), (std::vector<float>{11.5f, 182.5f, 26.5f, 202.5f}));
  EXPECT_EQ(full.positions[9 * 65534], 0.0f);
  // A second run after the first starts where it ended, from the pen it is given.
  LaidRun twice(0);
  twice.layout("a", 0, RED);
  twice.layout("b", 0, RED);
  EXPECT_EQ(twice.batch.triangleCount, 4);
  EXPECT_EQ(twice.rect(2), (std::vector<float>{10, 170, 40, 200}));
}

TEST(Layout, LooksGlyphsUpOncePerCharacterAndTwiceWhenMeasuredFirst) {
  LaidRun plain(0), limited(0), unattached(7, false);
  plain.layout("ab", 0, RED);
  limited.layout("ab", 25, RED);
  unattached.layout("ab", 0, RED);
  EXPECT_EQ(plain.lookups, 2);
  EXPECT_EQ(limited.lookups, 4);
  // Without arrays nothing is written, but the run is still measured (that loads its glyphs).
  EXPECT_EQ(unattached.lookups, 2);
  EXPECT_EQ(unattached.batch.triangleCount, 7);
}
