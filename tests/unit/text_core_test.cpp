// Text's pure pieces: UTF-8 decoding, face choice, skyline packing and glyph quads.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "text/core/coverage.h"
#include "text/core/quad.h"
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

TEST(Quad, ScaledQuadWithInsetTextureAndSqueeze) {
  const GlyphMetrics g{100, 20, 130, 60, 3, 35, 40 * 64, 0, 96};
  const Quad q = glyphQuad(g, 10.0f, 200.0f, 48.0f, 1.0f);
  EXPECT_EQ(q.u0, 100.5f);
  EXPECT_EQ(q.v0, 20.5f);
  EXPECT_EQ(q.u1, 129.5f);
  EXPECT_EQ(q.v1, 59.5f);
  EXPECT_EQ(q.x0, 11.5f);                 // left 3 at scale 0.5
  EXPECT_EQ(q.y0, 200.0f - 17.5f);        // top 35 at scale 0.5
  EXPECT_EQ(q.x1, (30.0f + 3.0f) * 0.5f + 10.0f);
  EXPECT_EQ(q.y1, 200.0f + 2.5f);         // top - height = -5
  EXPECT_EQ(glyphAdvanceWidth(g, 48.0f), 20.0f);
  // A squeezed glyph is narrower but starts at the unsqueezed bearing.
  const Quad s = glyphQuad(g, 10.0f, 200.0f, 48.0f, 0.5f);
  EXPECT_EQ(s.x0, q.x0);
  EXPECT_EQ(s.x1, (15.0f + 3.0f) * 0.5f + 10.0f);
  float px = 10, py = 200;
  advancePen(g, 48.0f, 0.5f, &px, &py);
  EXPECT_EQ(px, 20.0f);
  EXPECT_EQ(py, 200.0f);
}

TEST(Quad, BatchesTakeTwoTrianglesPerQuadUntilTheCountIsFull) {
  std::vector<float> pos(9 * 4), uv(6 * 4), col(12 * 4);
  GlyphBatch batch{pos.data(), uv.data(), col.data(), 0};
  const float red[4] = {1, 0, 0, 1};
  const Quad q{1, 2, 3, 4, 10, 20, 30, 40};
  ASSERT_EQ(appendQuad(&batch, q, red), 0);
  EXPECT_EQ(batch.triangleCount, 2);
  EXPECT_EQ(std::vector<float>(pos.begin(), pos.begin() + 18),
            (std::vector<float>{10, 20, 0, 10, 40, 0, 30, 20, 0, 10, 40, 0, 30, 20, 0, 30, 40, 0}));
  EXPECT_EQ(std::vector<float>(uv.begin(), uv.begin() + 12), (std::vector<float>{1, 2, 1, 4, 3, 2, 1, 4, 3, 2, 3, 4}));
  EXPECT_EQ(col[44 - 24 + 0], 1.0f);
  EXPECT_EQ(col[23], 1.0f);
  // At 65534 triangles the next quad is refused and nothing is written.
  batch.triangleCount = 65534;
  GlyphBatch full{nullptr, nullptr, nullptr, 65534};
  EXPECT_EQ(appendQuad(&full, q, red), 1);
  EXPECT_EQ(full.triangleCount, 65534);
}
