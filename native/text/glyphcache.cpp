// The glyph cache: code keys to glyphs through a direct table for the first code points of each
// font id, then the code map, then the glyph-index map that lets code points sharing a glyph share
// one record; a miss rasterises the glyph from the face the coverage table chooses. Called by layout
// and measurement (getGlyph) and by the atlas set-up (createGlyphSet). No GL here.
//
// Keys: code key = font id << 21 | code point; glyph key = font id << 21 | glyph index, with
// FALLBACK_GLYPH_KEY_BIT set when the fallback face rendered it. The font id is always the one asked
// for. The maps and the direct table hold slots, so growth of the store never invalidates them.
#define STB_DS_IMPLEMENTATION
// The library's own code leaves some fields to zero-initialisation.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb_ds.h>
#pragma GCC diagnostic pop

#include "base/check.h"
#include "text/glyphs.h"

namespace tsm::text {
namespace {
constexpr const char* checkModule = "fonts";
// Code points of each preloaded face loaded when the glyph set is built (ASCII).
constexpr uint32_t PRELOADED_CODES = 128;

void rememberCode(uint32_t key, uint32_t slot) {
  hmput(glyphSet.codeMap, key, slot);
  const uint32_t codePoint = key & 0x1FFFFF;
  if (codePoint < DIRECT_CODES) directSlots[key >> 21][codePoint] = slot + 1;
}

// Puts the glyph of code key `key` into the cache, rendered from `face`. False when the store is
// full and the glyph had no record yet.
bool loadGlyph(Face face, uint16_t pixelSize, uint32_t key) {
  const uint32_t gi = faceGlyphIndex(face, key & 0x1FFFFF);
  const uint32_t gk = (key & ~0x1FFFFFu) | gi | (face == FACE_FALLBACK ? FALLBACK_GLYPH_KEY_BIT : 0);
  const ptrdiff_t found = hmgeti(glyphSet.indexMap, gk);
  if (found >= 0) {
    const uint32_t slot = glyphSet.indexMap[found].value;
    rememberCode(key, slot);
    hmput(glyphSet.indexMap, gk, slot);
    return true;
  }
  Glyph* g = nextGlyphRecord(&glyphSet);
  if (!g) return false;
  g->key = key;
  g->glyphIndex = gi;
  rasterizeGlyph(face, gi, g);
  g->pixelSize = pixelSize;
  commitGlyphRecord(&glyphSet, g);
  rememberCode(key, g->slot);
  hmput(glyphSet.indexMap, gk, g->slot);
  return true;
}

const Glyph* firstGlyph() { return glyphSet.glyphCount ? &glyphSet.glyphs[0] : nullptr; }
}  // namespace

GlyphSet glyphSet = {};
uint32_t directSlots[FONT_ID_COUNT][DIRECT_CODES] = {};

void createGlyphSet() {
  initGlyphStore(&glyphSet);
  // Not through the coverage table: ASCII of both faces, mono first.
  for (uint32_t c = 0; c < PRELOADED_CODES; ++c) {
    if (faceOpen(FACE_MONO)) loadGlyph(FACE_MONO, facePixelSize[FACE_MONO], FONT_MONO << 21 | c);
    if (faceOpen(FACE_SANS)) loadGlyph(FACE_SANS, facePixelSize[FACE_SANS], FONT_SANS << 21 | c);
  }
}

const Glyph* lookupGlyph(uint32_t key) {
  if (!glyphSet.glyphs) return nullptr;
  for (;;) {
    const ptrdiff_t i = hmgeti(glyphSet.codeMap, key);
    if (i >= 0) return &glyphSet.glyphs[glyphSet.codeMap[i].value];
    if (static_cast<uint64_t>(hmlen(glyphSet.codeMap)) > glyphSet.maxCodes) return firstGlyph();
    const Face face = faceFor(key >> 21, key & 0x1FFFFF);
    // A face that did not open has nothing to rasterise from: no glyph, the run ends.
    if (!faceOpen(face)) return nullptr;
    if (!loadGlyph(face, facePixelSize[face], key)) return firstGlyph();
  }
}
}  // namespace tsm::text
