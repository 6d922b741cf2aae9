// Text layout over any glyph lookup: a run of UTF-8 decoded character by character, each glyph
// scaled from its face's pixel size to the requested size, measured, squeezed to a maximum width,
// and appended as a quad of two triangles to a glyph batch. One line, no kerning, no shaping.
// Owns no state and allocates nothing; does not choose the batch or the colour, and does not know
// where glyphs come from: the caller passes the lookup. Called by text/layout.cpp with the glyph
// cache, and by the unit tests and the utf8layout fuzz target with lookups of their own. Inline
// templates: layout runs for every character, and the lookup inlines into the loop. Pure.
#pragma once
#include <cstdint>

#include "text/core/quad.h"
#include "text/core/utf8.h"

namespace tsm::text {
// No face has this pixel size (they are 16-bit): the scale is still to be computed.
constexpr uint32_t NO_PIXEL_SIZE = 0x10000;

// `lookup(value)` answers a pointer to the GlyphMetrics (or a record derived from them) of a lookup
// value from decodeNext, valid until its next call, or null, which ends the run there.

// Width in pixels of `length` bytes of UTF-8 at `size` pixels in font word `font`.
template <typename Lookup>
inline float measureGlyphRun(const uint8_t* text, uint64_t length, float size, uint32_t font, Lookup lookup) {
  float width = 0.0f;
  // The scale changes only where the run moves to a glyph of another face size.
  uint32_t scaledFor = NO_PIXEL_SIZE;
  float scale = 0.0f;
  uint64_t i = 0;
  uint32_t value;
  while (decodeNext(text, length, &i, font, &value)) {
    const auto* g = lookup(value);
    if (!g) break;
    if (g->pixelSize != scaledFor) scaledFor = g->pixelSize, scale = glyphScale(*g, size);
    width += glyphAdvanceWidthScaled(*g, scale);
  }
  return width;
}

// Lays the run out from the pen at (x, y), y the baseline, appending each character's quad in
// `color` (red, green, blue, alpha) to `batch`. A run wider than `maxWidth` (0: no limit) has its
// pen steps and bitmaps narrowed to fit. A full batch drops the quad; the pen still moves. A batch
// without arrays gets nothing written, but the run is still measured: that looks its glyphs up.
template <typename Lookup>
inline void layoutGlyphRun(const uint8_t* text, uint64_t length, float x, float y, float size, uint32_t font,
                           uint32_t maxWidth, const float color[4], GlyphBatch* batch, Lookup lookup) {
  float* const positions = batch->positions;
  float* const texcoords = batch->texcoords;
  float* const colors = batch->colors;
  const bool writable = positions && texcoords && colors;
  float squeeze = 1.0f;
  // Only a maximum width needs the run's width first.
  if (maxWidth != 0 || !writable) {
    const float w = measureGlyphRun(text, length, size, font, lookup);
    if (maxWidth != 0 && w > static_cast<float>(maxWidth)) squeeze = static_cast<float>(maxWidth) / w;
  }
  if (!writable) return;
  const float r = color[0], g = color[1], b = color[2], a = color[3];
  // The count lives here until the run ends, so that the vertex stores cannot make it reload.
  uint32_t t = batch->triangleCount;
  uint32_t scaledFor = NO_PIXEL_SIZE;
  float scale = 0.0f;
  float px = x, py = y;
  uint64_t i = 0;
  uint32_t value;
  while (decodeNext(text, length, &i, font, &value)) {
    const auto* glyph = lookup(value);
    if (!glyph) break;
    if (glyph->pixelSize != scaledFor) scaledFor = glyph->pixelSize, scale = glyphScale(*glyph, size);
    if (t + 2 <= MAX_BATCH_TRIANGLES) {
      writeQuad(positions, texcoords, colors, t, glyphQuadScaled(*glyph, px, py, scale, squeeze), r, g, b, a);
      t += 2;
    }
    advancePenScaled(*glyph, scale, squeeze, &px, &py);
  }
  batch->triangleCount = static_cast<uint16_t>(t);
}
}  // namespace tsm::text
