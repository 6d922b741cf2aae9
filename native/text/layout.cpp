// Text layout and measurement: a run of UTF-8 decoded character by character, each glyph scaled from
// its face's pixel size to the requested size, measured, squeezed to a maximum width, and appended as
// a quad of two triangles to the plain or the outline glyph batch. The run is measured first only
// when it has a maximum width. One line, no kerning, no shaping.
// Called by command 10 (through textapi.cpp) and measureText; the renderer reads the batches.
// Allocates nothing.
#include "base/check.h"
#include "text/core/utf8.h"
#include "text/glyphs.h"
#include "text/text.h"

namespace tsm::text {
namespace {
// Bit of the font word that sends the quads to the outline batch.
constexpr uint32_t OUTLINE_BIT = 4;
// No face has this pixel size (they are 16-bit): the scale is still to be computed.
constexpr uint32_t NO_PIXEL_SIZE = 0x10000;
}  // namespace

float textColor[4] = {0.0f, 0.0f, 0.0f, 1.0f};
GlyphBatch glyphBatches[2] = {};

void resetGlyphBatches() {
  for (auto& batch : glyphBatches) batch.triangleCount = 0;
}

float measureRun(const uint8_t* text, uint64_t length, float size, uint32_t font) {
  float width = 0.0f;
  // The scale changes only where the run moves to a glyph of another face size.
  uint32_t scaledFor = NO_PIXEL_SIZE;
  float scale = 0.0f;
  uint64_t i = 0;
  uint32_t lookup;
  while (decodeNext(text, length, &i, font, &lookup)) {
    const Glyph* g = getGlyph(lookup);
    if (!g) break;
    if (g->pixelSize != scaledFor) scaledFor = g->pixelSize, scale = glyphScale(*g, size);
    width += glyphAdvanceWidthScaled(*g, scale);
  }
  return width;
}

int32_t layoutText(const uint8_t* text, uint64_t length, float x, float y, float size, uint16_t font,
                   uint32_t maxWidth) {
  GlyphBatch* batch = &glyphBatches[(font & OUTLINE_BIT) ? GLYPH_BATCH_OUTLINE : GLYPH_BATCH_PLAIN];
  float* const positions = batch->positions;
  float* const texcoords = batch->texcoords;
  float* const colors = batch->colors;
  const bool writable = positions && texcoords && colors;
  float squeeze = 1.0f;
  // Only a maximum width needs the run's width first. Until the renderer has given the batch its
  // arrays there is nowhere to write, but the run is still measured: that loads its glyphs.
  if (maxWidth != 0 || !writable) {
    const float w = measureRun(text, length, size, font);
    if (maxWidth != 0 && w > static_cast<float>(maxWidth)) squeeze = static_cast<float>(maxWidth) / w;
  }
  if (!writable) return 0;
  const float r = textColor[0], g = textColor[1], b = textColor[2], a = textColor[3];
  // The count lives here until the run ends, so that the vertex stores cannot make it reload.
  uint32_t t = batch->triangleCount;
  uint32_t scaledFor = NO_PIXEL_SIZE;
  float scale = 0.0f;
  float px = x, py = y;
  uint64_t i = 0;
  uint32_t lookup;
  while (decodeNext(text, length, &i, font, &lookup)) {
    const Glyph* glyph = getGlyph(lookup);
    if (!glyph) break;
    if (glyph->pixelSize != scaledFor) scaledFor = glyph->pixelSize, scale = glyphScale(*glyph, size);
    // A full batch drops the quad; the pen still moves.
    if (t + 2 <= MAX_BATCH_TRIANGLES) {
      writeQuad(positions, texcoords, colors, t, glyphQuadScaled(*glyph, px, py, scale, squeeze), r, g, b, a);
      t += 2;
    }
    advancePenScaled(*glyph, scale, squeeze, &px, &py);
  }
  batch->triangleCount = static_cast<uint16_t>(t);
  return 0;
}
}  // namespace tsm::text
