// Fuzz target: the glyph store under glyphs of any size arriving between uploads of both kinds, in small
// atlases. After each upload every glyph not refused lies inside with its size, alone, texel for texel; a
// refused one stays refused; an upload that refuses moves none placed before; it is logged once.
#include "fuzzlog.h"
#include "text/core/glyphset.h"

using namespace tsm::text;
using tsm::fuzz::fuzzLog;

namespace {
// Most glyphs per case: one case in 16 enough for the store to grow past its first capacity.
constexpr uint32_t MAX_CASE_GLYPHS = 600, MAX_SMALL_CASE_GLYPHS = 128, MAX_CASE_UPLOADS = 6;
constexpr uint32_t MAX_CASE_WIDTH = 256, MAX_CASE_HEIGHT = ATLAS_START_HEIGHT << 2;
constexpr uint32_t MAX_GLYPH_WIDTH = MAX_CASE_WIDTH + 8;  // wider than the atlas: refused

GlyphSet store;
uint8_t claimed[MAX_CASE_WIDTH * MAX_CASE_HEIGHT];  // one mark per atlas texel, zero between checks
// Row y of glyph `slot`: never 0, and not another glyph's, row's or a shifted row's, so none reads right.
constexpr uint32_t PATTERN_OFFSETS = 256;
const auto patterns = [] {
  std::array<uint8_t, PATTERN_OFFSETS + MAX_GLYPH_WIDTH> p;
  for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<uint8_t>(i * 7) | 1;
  return p;
}();

const uint8_t* texelRow(uint32_t slot, int32_t y) { return &patterns[(slot * 37 + static_cast<uint32_t>(y) * 11) % PATTERN_OFFSETS]; }

NO_COVERAGE void addGlyph(GlyphSet* gs, int32_t w, int32_t h) {
  Glyph* g = nextGlyphRecord(gs);
  const uint32_t slot = gs->glyphCount;
  g->x1 = g->bitmapWidth = w, g->y1 = g->bitmapRows = h;
  g->key = slot, g->pixelSize = 16;
  if (w > 0 && h > 0) {
    g->bitmap = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(w) * h));
    for (int32_t y = 0; y < h; ++y) std::memcpy(g->bitmap + static_cast<size_t>(y) * w, texelRow(slot, y), w);
  }
  commitGlyphRecord(gs, g);
}

NO_COVERAGE void checkAtlas(const GlyphSet& gs) {
  FUZZ_REQUIRE(gs.atlas && gs.atlasHeight == gs.toHeight && gs.toHeight < gs.maxHeight && skylineValid(gs));
  std::vector<bool> sorted(gs.glyphCount, false);
  for (uint32_t s = 0; s < gs.glyphCount; ++s) {
    const Glyph* p = gs.sortedGlyphs[s];
    const Glyph& g = gs.glyphs[s];
    FUZZ_REQUIRE(p >= gs.glyphs && p < gs.glyphs + gs.glyphCount && !sorted[p->slot] && g.slot == s);
    sorted[p->slot] = true;
    FUZZ_REQUIRE(!g.refused || (g.x0 == g.x1 && g.y0 == g.y1));
    if (g.refused) continue;
    FUZZ_REQUIRE(g.x1 - g.x0 == g.bitmapWidth && g.y1 - g.y0 == g.bitmapRows);
    FUZZ_REQUIRE(g.x0 >= 0 && g.y0 >= 0 && g.x1 <= static_cast<int32_t>(gs.width) && g.y1 <= static_cast<int32_t>(gs.toHeight));
    for (int32_t y = g.y0; y < g.y1; ++y) {
      const size_t first = static_cast<size_t>(y) * gs.width + g.x0, w = g.x1 - g.x0;
      FUZZ_REQUIRE(!std::memchr(claimed + first, 1, w));
      std::memset(claimed + first, 1, w);
      FUZZ_REQUIRE(std::memcmp(gs.atlas + first, texelRow(s, y - g.y0), w) == 0);
    }
  }
  std::memset(claimed, 0, static_cast<size_t>(gs.width) * gs.toHeight);
}
}  // namespace

FUZZ_TARGET {
  GlyphSet* gs = &store;
  initGlyphStore(gs);
  // Rows fill, heights double and glyphs are refused after a few dozen (a full-size atlas costs 100x).
  gs->width = in.ConsumeIntegralInRange<uint32_t>(16, MAX_CASE_WIDTH);
  gs->maxHeight = ATLAS_START_HEIGHT << in.ConsumeIntegralInRange<int>(1, 2);
  const int32_t largestWidth = gs->width + MAX_GLYPH_WIDTH - MAX_CASE_WIDTH, largestHeight = gs->maxHeight / 2 + 8;
  const uint32_t maxGlyphs = tsm::fuzz::oneInputIn(data, size, 16) ? MAX_CASE_GLYPHS : MAX_SMALL_CASE_GLYPHS;
  uint32_t uploads = 0;
  const auto upload = [&](bool fresh) {
    const uint32_t placedBefore = gs->packed, heightBefore = gs->toHeight;
    const std::vector<Glyph> previous(gs->glyphs, gs->glyphs + gs->glyphCount);
    fresh ? repackAtlas(gs) : growAtlas(gs);
    FUZZ_REQUIRE(gs->toHeight >= heightBefore && gs->packed == gs->glyphCount);
    checkAtlas(*gs);
    bool refusedNow = false;
    for (uint32_t s = 0; s < previous.size(); ++s) {
      FUZZ_REQUIRE(!previous[s].refused || gs->glyphs[s].refused);
      refusedNow |= gs->glyphs[s].refused && !previous[s].refused;
    }
    for (uint32_t s = 0; refusedNow && s < placedBefore; ++s) {
      FUZZ_REQUIRE(gs->glyphs[s].x0 == previous[s].x0 && gs->glyphs[s].y0 == previous[s].y0);
    }
  };
  while (in.remaining_bytes() && gs->glyphCount < maxGlyphs) {
    const int kind = in.ConsumeIntegralInRange<int>(0, 31);
    if (kind == 0) {
      if (const bool fresh = in.ConsumeBool(); ++uploads <= MAX_CASE_UPLOADS) upload(fresh);
      continue;
    }
    // Glyph sizes; runs of one small size, as a line of one letter brings; rarely the largest.
    const bool run = kind >= 28 && kind < 31;
    const int32_t copies = run ? in.ConsumeIntegralInRange<int32_t>(2, 64) : 1;
    const int32_t w = in.ConsumeIntegralInRange<int32_t>(0, kind < 28 ? 48 : run ? 16 : largestWidth);
    const int32_t h = in.ConsumeIntegralInRange<int32_t>(0, kind < 28 ? 56 : run ? 20 : largestHeight);
    for (int32_t k = 0; k < copies && gs->glyphCount < maxGlyphs; ++k) addGlyph(gs, w, h);
  }
  upload(in.ConsumeBool());
  FUZZ_REQUIRE(fuzzLog.errorLines <= 1 && fuzzLog.infoLines == 0);
  FUZZ_REQUIRE(!fuzzLog.errorLines || std::strcmp(fuzzLog.lastError, "Error: Out of height for font atlas!\n") == 0);
  freeGlyphStore(gs);
}
