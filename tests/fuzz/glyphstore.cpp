// Fuzz target: the glyph store and its atlas under arbitrary arrivals of glyphs of any size between
// uploads. After every upload: each glyph not refused sits inside the atlas with its bitmap's size,
// shares no texel with another, and the atlas holds its bitmap texel for texel; a refused glyph has
// an empty rectangle and stays refused; an upload that refuses glyphs leaves every glyph placed
// before where it was; the out-of-height line comes at most once and the sort self-check never.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzzlog.h"
#include "text/core/glyphset.h"

using namespace tsm::text;

namespace {
// Most glyphs per case; enough for the store to grow past its first capacity.
constexpr uint32_t MAX_CASE_GLYPHS = 600;
// Most uploads per case (each one allocates and checks the whole atlas).
constexpr uint32_t MAX_CASE_UPLOADS = 6;

GlyphSet* store;

// The target's own loops over texels are left out of the coverage feedback: they say nothing about
// the code under test, and tracing each comparison would cost most of the time.
#define NO_COVERAGE __attribute__((no_sanitize("coverage")))

// Coverage byte of texel (x, y) of the glyph in `slot`: never 0 (an empty texel), varying per glyph,
// row and column.
NO_COVERAGE uint8_t texelOf(uint32_t slot, int32_t x, int32_t y) {
  return static_cast<uint8_t>((slot * 31 + static_cast<uint32_t>(x) * 7 + static_cast<uint32_t>(y) * 13) | 1);
}

NO_COVERAGE void addGlyph(GlyphSet* gs, int32_t w, int32_t h) {
  Glyph* g = nextGlyphRecord(gs);
  FUZZ_REQUIRE(g != nullptr);  // far below the store's limit
  const uint32_t slot = gs->glyphCount;
  g->x1 = w, g->y1 = h;
  g->bitmapWidth = w, g->bitmapRows = h;
  g->key = slot;
  g->pixelSize = 16;
  if (w > 0 && h > 0) {
    g->bitmap = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(w) * h));
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) g->bitmap[y * w + x] = texelOf(slot, x, y);
  }
  commitGlyphRecord(gs, g);
  FUZZ_REQUIRE(g->slot == slot && gs->glyphCount == slot + 1 && gs->dirty);
}

NO_COVERAGE bool overlap(const Glyph& a, const Glyph& b) {
  return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

NO_COVERAGE void checkAtlas(const GlyphSet& gs) {
  FUZZ_REQUIRE(gs.atlas && gs.atlasHeight == gs.toHeight && gs.toHeight < ATLAS_MAX_HEIGHT);
  FUZZ_REQUIRE(skylineValid(gs));
  std::vector<const Glyph*> placed;
  for (uint32_t s = 0; s < gs.glyphCount; ++s) {
    const Glyph& g = gs.glyphs[s];
    FUZZ_REQUIRE(g.slot == s);
    if (g.refused) {
      FUZZ_REQUIRE(g.x0 == g.x1 && g.y0 == g.y1);
      continue;
    }
    FUZZ_REQUIRE(g.x1 - g.x0 == g.bitmapWidth && g.y1 - g.y0 == g.bitmapRows);
    FUZZ_REQUIRE(g.x0 >= 0 && g.y0 >= 0 && g.x1 <= static_cast<int32_t>(gs.width) && g.y1 <= static_cast<int32_t>(gs.toHeight));
    if (g.x0 == g.x1 || g.y0 == g.y1) continue;
    for (const Glyph* p : placed) FUZZ_REQUIRE(!overlap(*p, g));
    placed.push_back(&g);
    for (int32_t y = g.y0; y < g.y1; ++y)
      for (int32_t x = g.x0; x < g.x1; ++x)
        FUZZ_REQUIRE(gs.atlas[static_cast<size_t>(y) * gs.width + x] == texelOf(s, x - g.x0, y - g.y0));
  }
  // The packing order holds every record once.
  std::vector<bool> seen(gs.glyphCount, false);
  for (uint32_t i = 0; i < gs.glyphCount; ++i) {
    const Glyph* g = gs.sortedGlyphs[i];
    FUZZ_REQUIRE(g >= gs.glyphs && g < gs.glyphs + gs.glyphCount && !seen[g->slot]);
    seen[g->slot] = true;
  }
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  store = static_cast<GlyphSet*>(std::calloc(1, sizeof(GlyphSet)));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tsm::fuzz::resetFuzzLog();
  FuzzedDataProvider in(data, size);
  GlyphSet* gs = store;
  initGlyphStore(gs);
  std::vector<Glyph> previous;
  std::vector<bool> wasRefused;
  uint32_t uploads = 0;
  while (in.remaining_bytes() && gs->glyphCount < MAX_CASE_GLYPHS) {
    const int kind = in.ConsumeIntegralInRange<int>(0, 31);
    if (kind == 0) {
      if (++uploads > MAX_CASE_UPLOADS) continue;
      const uint32_t placedBefore = gs->packed;
      previous.assign(gs->glyphs, gs->glyphs + gs->glyphCount);
      const uint32_t heightBefore = gs->toHeight;
      repackAtlas(gs);
      FUZZ_REQUIRE(gs->toHeight >= heightBefore);
      checkAtlas(*gs);
      bool refusedNow = false;
      for (uint32_t s = 0; s < gs->glyphCount; ++s) {
        if (s < wasRefused.size() && wasRefused[s]) FUZZ_REQUIRE(gs->glyphs[s].refused);
        refusedNow |= gs->glyphs[s].refused && !(s < wasRefused.size() && wasRefused[s]);
      }
      if (refusedNow) {
        for (uint32_t s = 0; s < placedBefore; ++s) {
          FUZZ_REQUIRE(gs->glyphs[s].x0 == previous[s].x0 && gs->glyphs[s].y0 == previous[s].y0);
        }
      }
      wasRefused.resize(gs->glyphCount);
      for (uint32_t s = 0; s < gs->glyphCount; ++s) wasRefused[s] = gs->glyphs[s].refused;
      continue;
    }
    int32_t w, h;
    if (kind < 31) {
      w = in.ConsumeIntegralInRange<int32_t>(0, 60);
      h = in.ConsumeIntegralInRange<int32_t>(0, 70);
    } else {
      w = in.ConsumeIntegralInRange<int32_t>(0, 1200);
      h = in.ConsumeIntegralInRange<int32_t>(0, 1100);
    }
    addGlyph(gs, w, h);
  }
  repackAtlas(gs);
  checkAtlas(*gs);
  FUZZ_REQUIRE(tsm::fuzz::fuzzLog.errorLines <= 1 && tsm::fuzz::fuzzLog.infoLines == 0);
  if (tsm::fuzz::fuzzLog.errorLines) FUZZ_REQUIRE(std::strcmp(tsm::fuzz::fuzzLog.lastError, "Error: Out of height for font atlas!\n") == 0);
  freeGlyphStore(gs);
  return 0;
}
