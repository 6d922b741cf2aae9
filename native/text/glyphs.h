// The text subsystem's inside: the faces that rasterise glyphs, the process's glyph set and the
// glyph lookup that layout calls for every character. Used by text's own files (and the text
// benchmark) only; the rest of the system goes through text.h. No GL.
#pragma once
#include <cstdint>

#include "text/core/coverage.h"
#include "text/core/glyphset.h"
#include "text/text.h"

namespace tsm::text {
// ---- faces (fonts.cpp) ----------------------------------------------------------------------

// Whether the face opened at start-up (and has not been closed).
bool faceOpen(Face face);
// The face's glyph index for a code point; 0 (its missing glyph) for one it lacks.
uint32_t faceGlyphIndex(Face face, uint32_t codePoint);
// Rasterises glyph `glyphIndex` of the face into `g`: rectangle (0, 0, width, rows), bearings,
// advances, an owned copy of the coverage bitmap. A glyph FreeType fails to load or render becomes
// an empty glyph (no bitmap, zero bearings and advances).
void rasterizeGlyph(Face face, uint32_t glyphIndex, Glyph* g);

// ---- glyph cache (glyphcache.cpp) ---------------------------------------------------------------

// Code points below this have a direct table per font id in front of the code map.
constexpr uint32_t DIRECT_CODES = 2048;
// Glyph keys of glyphs rendered from the fallback face carry this bit, so that they never meet the
// requested face's own glyph of the same index.
constexpr uint32_t FALLBACK_GLYPH_KEY_BIT = 1u << 23;

// The process's glyph set; glyphs is null until createGlyphSet.
extern GlyphSet glyphSet;
// slot + 1 of the glyph of code point c in font id f at directSlots[f][c]; 0 when not yet known.
extern uint32_t directSlots[FONT_ID_COUNT][DIRECT_CODES];

// Builds the store and preloads code points 0-127 of the mono and sans faces.
void createGlyphSet();
// Slow path of getGlyph: the code map, loading the glyph on a miss.
const Glyph* lookupGlyph(uint32_t key);

// The glyph of a lookup value (bits 21-22 the font id, bits 0-20 the code point, higher bits
// ignored), loaded on a miss. Null when there is no glyph set or the chosen face did not open. The
// answer is valid until the next lookup, which may move the store.
inline const Glyph* getGlyph(uint32_t code) {
  const uint32_t key = ((code >> 21) & 3) << 21 | (code & 0x1FFFFF);
  const uint32_t codePoint = key & 0x1FFFFF;
  if (codePoint < DIRECT_CODES) {
    const uint32_t slot = directSlots[key >> 21][codePoint];
    if (slot) return &glyphSet.glyphs[slot - 1];
  }
  return lookupGlyph(key);
}

// ---- atlas (atlas.cpp) ----------------------------------------------------------------------------

// The atlas and the rows its last write changed, without placing or writing anything (what a take
// answers after its write; the benchmarks describe a repack with it).
AtlasChanges lastAtlasWrite();

// ---- layout (layout.cpp) ------------------------------------------------------------------------

// Width in pixels of `length` bytes of UTF-8 at `size` pixels in font word `font`.
float measureRun(const uint8_t* text, uint64_t length, float size, uint32_t font);
// Lays the run out into the batch that bit 2 of `font` chooses; answers 0.
int32_t layoutText(const uint8_t* text, uint64_t length, float x, float y, float size, uint16_t font,
                   uint32_t maxWidth);
}  // namespace tsm::text
