// Text layout and measurement: a run of UTF-8 decoded character by character, each glyph scaled from
// its face's pixel size to the requested size, measured, squeezed to a maximum width, and appended as
// a quad of two triangles to the plain or the outline glyph batch. One line, no kerning, no shaping.
// Called by command 10 (through textapi.cpp) and measureText; the renderer reads the batches.
// Allocates nothing.
#include "bridge/core/check.h"
#include "text/core/utf8.h"
#include "text/glyphs.h"
#include "text/text.h"

namespace tsm::text {
namespace {
// Bit of the font word that sends the quads to the outline batch.
constexpr uint32_t OUTLINE_BIT = 4;
}  // namespace

float textColor[4] = {0.0f, 0.0f, 0.0f, 1.0f};
GlyphBatch glyphBatches[2] = {};

void resetGlyphBatches() {
  for (auto& batch : glyphBatches) batch.triangleCount = 0;
}

float measureRun(const uint8_t* text, uint64_t length, float size, uint32_t font) {
  float width = 0.0f;
  uint64_t i = 0;
  uint32_t lookup;
  while (decodeNext(text, length, &i, font, &lookup)) {
    const Glyph* g = getGlyph(lookup);
    if (!g) break;
    width += glyphAdvanceWidth(*g, size);
  }
  return width;
}

int32_t layoutText(const uint8_t* text, uint64_t length, float x, float y, float size, uint16_t font,
                   uint32_t maxWidth) {
  // Measured even without a limit: this also loads every glyph the run needs.
  const float w = measureRun(text, length, size, font);
  float squeeze = 1.0f;
  if (maxWidth != 0 && w > static_cast<float>(maxWidth)) squeeze = static_cast<float>(maxWidth) / w;
  GlyphBatch* batch = &glyphBatches[(font & OUTLINE_BIT) ? GLYPH_BATCH_OUTLINE : GLYPH_BATCH_PLAIN];
  // Until the renderer has given the batch its arrays there is nowhere to write.
  if (!batch->positions || !batch->texcoords || !batch->colors) return 0;
  const float color[4] = {textColor[0], textColor[1], textColor[2], textColor[3]};
  float px = x, py = y;
  uint64_t i = 0;
  uint32_t lookup;
  while (decodeNext(text, length, &i, font, &lookup)) {
    const Glyph* g = getGlyph(lookup);
    if (!g) break;
    // A full batch drops the quad; the pen still moves.
    appendQuad(batch, glyphQuad(*g, px, py, size, squeeze), color);
    advancePen(*g, size, squeeze, &px, &py);
  }
  return 0;
}
}  // namespace tsm::text
