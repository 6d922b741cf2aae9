// Fuzz target: the glyph store and its atlas under arbitrary arrivals of glyphs of any size between
// uploads, both kinds of upload (the new glyphs on the layout as it stands, or a fresh layout), in
// atlases of any width and height up to 256 x 512 texels. After every upload: each glyph not refused sits inside the
// atlas with its bitmap's size, shares no texel with another, and the atlas holds its bitmap texel
// for texel; a refused glyph has an empty rectangle and stays refused; an upload that refuses glyphs
// leaves every glyph placed before where it was; the out-of-height line comes at most once and the
// sort self-check never.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzzlog.h"
#include "text/core/glyphset.h"

using namespace tsm::text;

namespace {
// Most glyphs per case: one case in 16 may add enough for the store to grow past its first
// capacity; the others, which cost a few times less, enough to fill their atlas many times over.
constexpr uint32_t MAX_CASE_GLYPHS = 600;
constexpr uint32_t MAX_SMALL_CASE_GLYPHS = 128;
// Most uploads per case (each one is checked texel by texel).
constexpr uint32_t MAX_CASE_UPLOADS = 6;
// Most copies of one glyph size a single input byte run adds.
constexpr int32_t MAX_REPEAT = 64;
// The largest atlas a case packs: its width, and the height it stays below.
constexpr uint32_t MAX_CASE_WIDTH = 256;
constexpr uint32_t MAX_CASE_HEIGHT = ATLAS_START_HEIGHT << 2;
// Widest glyph a case adds: wider than its atlas, to be refused.
constexpr uint32_t MAX_GLYPH_WIDTH = MAX_CASE_WIDTH + 8;

GlyphSet* store;
// One mark per texel of the atlas: which texels a glyph was already found on during a check. Zero
// between checks; kept across cases so that its pages are not faulted in again each time.
uint8_t* claimed;
// Rows of zeros, to compare rows of marks against.
uint8_t noMarks[MAX_CASE_WIDTH];

// Coverage patterns: row y of the glyph in `slot` holds the bytes at texelRow(slot, y), different
// from glyph to glyph and row to row, never 0 (an empty texel), and different between neighbouring
// columns, so that a row written shifted, short or from the wrong glyph reads wrong. Rows are copied
// and compared whole, so checking a texel costs next to nothing.
constexpr uint32_t PATTERN_OFFSETS = 256;
uint8_t patterns[PATTERN_OFFSETS + MAX_GLYPH_WIDTH];

const uint8_t* texelRow(uint32_t slot, int32_t y) {
  return patterns + ((slot * 37 + static_cast<uint32_t>(y) * 11) % PATTERN_OFFSETS);
}

// The target's own loops are left out of the coverage feedback: they say nothing about the code
// under test, and tracing each comparison would cost most of the time.
#define NO_COVERAGE __attribute__((no_sanitize("coverage")))

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
    for (int32_t y = 0; y < h; ++y) std::memcpy(g->bitmap + static_cast<size_t>(y) * w, texelRow(slot, y), w);
  }
  commitGlyphRecord(gs, g);
  FUZZ_REQUIRE(g->slot == slot && gs->glyphCount == slot + 1 && gs->dirty);
}

NO_COVERAGE void checkAtlas(const GlyphSet& gs) {
  FUZZ_REQUIRE(gs.atlas && gs.atlasHeight == gs.toHeight && gs.toHeight < gs.maxHeight);
  FUZZ_REQUIRE(skylineValid(gs));
  for (uint32_t s = 0; s < gs.glyphCount; ++s) {
    const Glyph& g = gs.glyphs[s];
    FUZZ_REQUIRE(g.slot == s);
    if (g.refused) {
      FUZZ_REQUIRE(g.x0 == g.x1 && g.y0 == g.y1);
      continue;
    }
    FUZZ_REQUIRE(g.x1 - g.x0 == g.bitmapWidth && g.y1 - g.y0 == g.bitmapRows);
    FUZZ_REQUIRE(g.x0 >= 0 && g.y0 >= 0 && g.x1 <= static_cast<int32_t>(gs.width) && g.y1 <= static_cast<int32_t>(gs.toHeight));
    // Each row: no glyph found on it before this one, and this glyph's coverage in it.
    const size_t w = static_cast<size_t>(g.x1 - g.x0);
    for (int32_t y = g.y0; y < g.y1; ++y) {
      const size_t first = static_cast<size_t>(y) * gs.width + g.x0;
      FUZZ_REQUIRE(std::memcmp(claimed + first, noMarks, w) == 0);
      std::memset(claimed + first, 1, w);
      FUZZ_REQUIRE(std::memcmp(gs.atlas + first, texelRow(s, y - g.y0), w) == 0);
    }
  }
  for (uint32_t s = 0; s < gs.glyphCount; ++s) {
    const Glyph& g = gs.glyphs[s];
    if (g.refused || g.x0 == g.x1) continue;
    for (int32_t y = g.y0; y < g.y1; ++y) std::memset(claimed + static_cast<size_t>(y) * gs.width + g.x0, 0, g.x1 - g.x0);
  }
  // The packing order holds every record once.
  std::vector<bool> seen(gs.glyphCount, false);
  for (uint32_t i = 0; i < gs.glyphCount; ++i) {
    const Glyph* g = gs.sortedGlyphs[i];
    FUZZ_REQUIRE(g >= gs.glyphs && g < gs.glyphs + gs.glyphCount && !seen[g->slot]);
    seen[g->slot] = true;
  }
}

// One upload as the addon makes them: the new glyphs on the layout as it stands, or (a relayout) a
// fresh layout of every glyph.
void upload(GlyphSet* gs, bool fresh) {
  if (fresh) {
    repackAtlas(gs);
  } else {
    growAtlas(gs);
  }
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  store = static_cast<GlyphSet*>(std::calloc(1, sizeof(GlyphSet)));
  claimed = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(MAX_CASE_WIDTH) * MAX_CASE_HEIGHT, 1));
  for (uint32_t i = 0; i < sizeof patterns; ++i) patterns[i] = static_cast<uint8_t>(i * 7) | 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tsm::fuzz::resetFuzzLog();
  FuzzedDataProvider in(data, size);
  GlyphSet* gs = store;
  initGlyphStore(gs);
  // A small atlas, where rows fill, the height doubles and glyphs are refused after a few dozen
  // glyphs. The packing and writing are the same for any width and height; the addon's full-size
  // atlas (whose packing the skyline target covers) would make each case allocate 512 KiB to 8 MiB
  // of fresh pages and touch one page per row, which takes a hundred times as long as a small case.
  gs->width = in.ConsumeIntegralInRange<uint32_t>(16, MAX_CASE_WIDTH);
  gs->maxHeight = ATLAS_START_HEIGHT << in.ConsumeIntegralInRange<int>(1, 2);
  const int32_t largestWidth = static_cast<int32_t>(gs->width + MAX_GLYPH_WIDTH - MAX_CASE_WIDTH);
  const int32_t largestHeight = static_cast<int32_t>(gs->maxHeight) / 2 + 8;
  const uint32_t maxGlyphs = tsm::fuzz::oneInputIn(data, size, 16) ? MAX_CASE_GLYPHS : MAX_SMALL_CASE_GLYPHS;
  std::vector<Glyph> previous;
  std::vector<bool> wasRefused;
  uint32_t uploads = 0;
  while (in.remaining_bytes() && gs->glyphCount < maxGlyphs) {
    const int kind = in.ConsumeIntegralInRange<int>(0, 31);
    if (kind == 0) {
      const bool fresh = in.ConsumeBool();
      if (++uploads > MAX_CASE_UPLOADS) continue;
      const uint32_t placedBefore = gs->packed;
      previous.assign(gs->glyphs, gs->glyphs + gs->glyphCount);
      const uint32_t heightBefore = gs->toHeight;
      upload(gs, fresh);
      FUZZ_REQUIRE(gs->toHeight >= heightBefore && gs->packed == gs->glyphCount);
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
    int32_t w, h, copies = 1;
    if (kind < 28) {
      w = in.ConsumeIntegralInRange<int32_t>(0, 48);
      h = in.ConsumeIntegralInRange<int32_t>(0, 56);
    } else if (kind < 31) {  // a run of small glyphs of one size, as a line of one letter brings
      copies = in.ConsumeIntegralInRange<int32_t>(2, MAX_REPEAT);
      w = in.ConsumeIntegralInRange<int32_t>(0, 16);
      h = in.ConsumeIntegralInRange<int32_t>(0, 20);
    } else {
      w = in.ConsumeIntegralInRange<int32_t>(0, largestWidth);
      h = in.ConsumeIntegralInRange<int32_t>(0, largestHeight);
    }
    for (int32_t k = 0; k < copies && gs->glyphCount < maxGlyphs; ++k) addGlyph(gs, w, h);
  }
  upload(gs, in.ConsumeBool());
  checkAtlas(*gs);
  FUZZ_REQUIRE(tsm::fuzz::fuzzLog.errorLines <= 1 && tsm::fuzz::fuzzLog.infoLines == 0);
  if (tsm::fuzz::fuzzLog.errorLines) FUZZ_REQUIRE(std::strcmp(tsm::fuzz::fuzzLog.lastError, "Error: Out of height for font atlas!\n") == 0);
  freeGlyphStore(gs);
  return 0;
}
