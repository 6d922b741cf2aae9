// The glyph store and its atlas packing. See glyphset.h.
#include "text/core/glyphset.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/check.h"
#include "base/log.h"

namespace tsm::text {
namespace {
constexpr const char* checkModule = "fonts";

int32_t glyphHeight(const Glyph* g) { return g->y1 - g->y0; }

// Sorts [first, last) tallest first; logs "Not sorted!\n" for each out-of-order neighbour after.
void sortTallestFirst(Glyph** first, Glyph** last) {
  std::sort(first, last, [](const Glyph* a, const Glyph* b) { return compareGlyphHeight(a, b) < 0; });
  int32_t prev = 0;
  for (Glyph** it = first; it != last; ++it) {
    const int32_t h = glyphHeight(*it);
    if (h > prev && prev != 0) logError("Not sorted!\n");
    prev = h;
  }
}

// Copies one row of a glyph (`w` > 0 bytes) with copies of constant size, the last one overlapping
// the one before: rows are short, and a call to memcpy per row cost more than the copy.
inline void copyRow(uint8_t* to, const uint8_t* from, uint32_t w) {
  if (w >= 16) {
    for (uint32_t k = 0; k + 16 <= w; k += 16) std::memcpy(to + k, from + k, 16);
    std::memcpy(to + w - 16, from + w - 16, 16);
  } else if (w >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + w - 8, from + w - 8, 8);
  } else if (w >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + w - 4, from + w - 4, 4);
  } else {
    for (uint32_t k = 0; k < w; ++k) to[k] = from[k];
  }
}

void place(Glyph* g, const PackedRect& r) {
  g->x0 = r.x0, g->y0 = r.y0, g->x1 = r.x1, g->y1 = r.y1;
  g->placed = true;
}
}  // namespace

void initGlyphStore(GlyphSet* gs) {
  gs->glyphs = static_cast<Glyph*>(std::calloc(GLYPH_START_CAPACITY, sizeof(Glyph)));
  CHECK(gs->glyphs && "No memory for glyphs");
  gs->sortedGlyphs = static_cast<Glyph**>(std::calloc(GLYPH_START_CAPACITY, sizeof(Glyph*)));
  CHECK(gs->sortedGlyphs && "No memory for sortedGlyph");
  gs->trialRects = static_cast<PackedRect*>(std::calloc(GLYPH_START_CAPACITY, sizeof(PackedRect)));
  CHECK(gs->trialRects && "No memory for glyph rectangles");
  gs->maxCodes = MAX_CODES;
  gs->packed = 0;
  gs->glyphCapacity = GLYPH_START_CAPACITY;
  gs->codeMap = nullptr;
  gs->indexMap = nullptr;
  gs->maxGlyphs = MAX_GLYPHS;
  gs->glyphCount = 0;
  resetSkyline(gs, ATLAS_START_HEIGHT);
  gs->atlasHeight = ATLAS_START_HEIGHT;
  gs->atlas = nullptr;
  gs->dirtyTop = 0;
  gs->dirtyBottom = 0;
  gs->dirty = true;
  gs->storeFullLogged = false;
  gs->atlasFullLogged = false;
}

Glyph* nextGlyphRecord(GlyphSet* gs) {
  if (gs->glyphCount == gs->glyphCapacity) {
    if (gs->glyphCount >= gs->maxGlyphs) {
      if (!gs->storeFullLogged) logError("Error: Out of glyph structure memory!");
      gs->storeFullLogged = true;
      return nullptr;
    }
    const uint32_t newCapacity = std::min(gs->maxGlyphs, 2 * gs->glyphCapacity);
    Glyph* glyphs = static_cast<Glyph*>(std::calloc(newCapacity, sizeof(Glyph)));
    CHECK(glyphs && "No memory for glyphs");
    Glyph** sortedGlyphs = static_cast<Glyph**>(std::calloc(newCapacity, sizeof(Glyph*)));
    CHECK(sortedGlyphs && "No memory for sortedGlyphs");
    PackedRect* trialRects = static_cast<PackedRect*>(std::calloc(newCapacity, sizeof(PackedRect)));
    CHECK(trialRects && "No memory for glyph rectangles");
    std::memcpy(glyphs, gs->glyphs, gs->glyphCount * sizeof(Glyph));
    // Same packing order, now referring to the moved records.
    for (uint32_t i = 0; i < gs->glyphCount; ++i) sortedGlyphs[i] = &glyphs[gs->sortedGlyphs[i]->slot];
    std::free(gs->glyphs);
    std::free(gs->sortedGlyphs);
    std::free(gs->trialRects);
    gs->glyphs = glyphs;
    gs->sortedGlyphs = sortedGlyphs;
    gs->trialRects = trialRects;
    gs->glyphCapacity = newCapacity;
  }
  Glyph* g = &gs->glyphs[gs->glyphCount];
  *g = Glyph{};
  return g;
}

void commitGlyphRecord(GlyphSet* gs, Glyph* g) {
  g->slot = gs->glyphCount;
  gs->sortedGlyphs[gs->glyphCount] = g;
  gs->dirty = true;
  ++gs->glyphCount;
}

int compareGlyphHeight(const Glyph* a, const Glyph* b) { return glyphHeight(b) - glyphHeight(a); }

void sortGlyphs(GlyphSet* gs) { sortTallestFirst(gs->sortedGlyphs, gs->sortedGlyphs + gs->glyphCount); }

uint32_t packGlyphs(GlyphSet* gs) {
  // A fresh layout of every glyph that has a place, tallest first; taken only if all of them fit.
  // The trial packs into the same atlas as the layout it may replace.
  resetSkyline(&gs->trial, gs->toHeight);
  gs->trial.width = gs->width;
  gs->trial.maxHeight = gs->maxHeight;
  bool fits = true;
  for (uint32_t i = 0; i < gs->glyphCount && fits; ++i) {
    const Glyph* g = gs->sortedGlyphs[i];
    if (g->refused) continue;
    fits = packRect(&gs->trial, g->bitmapWidth, g->bitmapRows, &gs->trialRects[i]);
  }
  if (fits) {
    static_cast<Skyline&>(*gs) = gs->trial;
    for (uint32_t i = 0; i < gs->glyphCount; ++i) {
      Glyph* g = gs->sortedGlyphs[i];
      if (g->refused) continue;
      place(g, gs->trialRects[i]);
    }
    gs->packed = 0;
    CHECK(skylineValid(*gs) && "skyline rises");
    return 0;
  }

  // No room for all of them: what is in the atlas stays where it is, and the glyphs added since go
  // on top of it, tallest first, while there is room.
  uint32_t refused = 0;
  for (uint32_t i = 0; i < gs->glyphCount; ++i) {
    Glyph* g = gs->sortedGlyphs[i];
    if (g->slot < gs->packed || g->refused || g->placed) continue;
    PackedRect r;
    if (packRect(gs, g->bitmapWidth, g->bitmapRows, &r)) {
      place(g, r);
    } else {
      g->refused = true;
      g->x0 = g->y0 = g->x1 = g->y1 = 0;
      ++refused;
    }
  }
  CHECK(skylineValid(*gs) && "skyline rises");
  if (refused && !gs->atlasFullLogged) {
    logError("Error: Out of height for font atlas!\n");
    gs->atlasFullLogged = true;
  }
  return refused;
}

bool placeNewGlyphs(GlyphSet* gs) {
  // The glyphs added since the last write are the tail of the packing order.
  Glyph** first = gs->sortedGlyphs + gs->packed;
  Glyph** last = gs->sortedGlyphs + gs->glyphCount;
  sortTallestFirst(first, last);
  for (Glyph** it = first; it != last; ++it) {
    Glyph* g = *it;
    if (g->placed || g->refused) continue;
    PackedRect r;
    if (!packRect(gs, g->bitmapWidth, g->bitmapRows, &r)) return false;
    place(g, r);
  }
  CHECK(skylineValid(*gs) && "skyline rises");
  return true;
}

void writeAtlas(GlyphSet* gs) {
  uint32_t top = UINT32_MAX, bottom = 0;
  if (gs->toHeight != gs->atlasHeight || !gs->atlas) {
    // Cleared, so that texels no glyph covers read as empty coverage.
    uint8_t* newBitmap = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(gs->width) * gs->toHeight, 1));
    CHECK(newBitmap && "No memory for glyph texture");
    if (gs->atlas) {
      if (gs->packed > 0) {
        const uint32_t rows = std::min(gs->atlasHeight, gs->toHeight);
        std::memcpy(newBitmap, gs->atlas, static_cast<size_t>(gs->width) * rows);
      }
      std::free(gs->atlas);
    }
    gs->atlasHeight = gs->toHeight;
    gs->atlas = newBitmap;
    top = 0, bottom = gs->toHeight;
  }
  for (uint32_t s = gs->packed; s < gs->glyphCount; ++s) {
    const Glyph* g = &gs->glyphs[s];
    const int32_t w = g->x1 - g->x0;
    const int32_t h = g->y1 - g->y0;
    if (w <= 0 || h <= 0) continue;
    const uint32_t first = static_cast<uint32_t>(g->y0) * gs->width + static_cast<uint32_t>(g->x0);
    // The last row's last texel bounds every row.
    const uint32_t last = first + static_cast<uint32_t>(h - 1) * gs->width + static_cast<uint32_t>(w) - 1;
    CHECK(last < gs->width * gs->toHeight && "bitmap write out of bounds");
    uint8_t* to = gs->atlas + first;
    const uint8_t* row = g->bitmap;
    for (int32_t r = 0; r < h; ++r, to += gs->width, row += g->bitmapWidth) copyRow(to, row, static_cast<uint32_t>(w));
    top = std::min(top, static_cast<uint32_t>(g->y0));
    bottom = std::max(bottom, static_cast<uint32_t>(g->y1));
  }
  gs->dirtyTop = bottom > 0 ? top : 0;
  gs->dirtyBottom = bottom;
  gs->packed = gs->glyphCount;
}

void growAtlas(GlyphSet* gs) {
  if (gs->packed < gs->glyphCount && !placeNewGlyphs(gs)) {
    // A new glyph finds no room on the skyline as it stands: one fresh layout of everything, which
    // either fits or places what it can on top of the layout already written.
    sortGlyphs(gs);
    packGlyphs(gs);
  }
  writeAtlas(gs);
}

void repackAtlas(GlyphSet* gs) {
  sortGlyphs(gs);
  packGlyphs(gs);
  writeAtlas(gs);
}

void freeGlyphStore(GlyphSet* gs) {
  for (uint32_t s = 0; s < gs->glyphCount; ++s) std::free(gs->glyphs[s].bitmap);
  std::free(gs->glyphs);
  std::free(gs->sortedGlyphs);
  std::free(gs->trialRects);
  std::free(gs->atlas);
  gs->glyphs = nullptr;
  gs->sortedGlyphs = nullptr;
  gs->trialRects = nullptr;
  gs->atlas = nullptr;
  gs->glyphCount = 0;
}
}  // namespace tsm::text
