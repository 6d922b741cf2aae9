// Text layout and measurement over the glyph cache, and the layout state: the text colour and the
// two glyph batches. The walk over a run (decode, look up, scale, measure, squeeze, append quads) is
// text/core/layout.h; this file chooses the batch from the font word, supplies the colour and the
// cache's getGlyph, and answers graphics' questions about the batches. Does not own the batches'
// arrays (graphics' glyph pipelines do) and makes no GL call.
// Callers: command 10 (through textapi.cpp) and measureText; the command stream (setTextColor, and
// resetGlyphBatches at the start of every tick); graphics (attachGlyphBatch at set-up, glyphTriangles
// each frame). Allocates nothing.
#include "base/check.h"
#include "text/core/layout.h"
#include "text/glyphs.h"
#include "text/text.h"

namespace tsm::text {
namespace {
constexpr const char* checkModule = "gfx";
// Bit of the font word that sends the quads to the outline batch.
constexpr uint32_t OUTLINE_BIT = 4;

// The glyph cache as layout's lookup; inlined into the loop.
constexpr auto cachedGlyph = [](uint32_t value) { return getGlyph(value); };

struct LayoutState {
  float color[4];         // colour of every vertex laid out from now on
  GlyphBatch batches[2];  // GLYPH_BATCH_PLAIN, GLYPH_BATCH_OUTLINE
};
LayoutState layoutState = {{0.0f, 0.0f, 0.0f, 1.0f}, {}};

GlyphBatch& batchAt(int batch) {
  CHECK(batch == GLYPH_BATCH_PLAIN || batch == GLYPH_BATCH_OUTLINE);
  return layoutState.batches[batch];
}
}  // namespace

void setTextColor(const float rgba[4]) {
  for (int c = 0; c < 4; ++c) layoutState.color[c] = rgba[c];
}

void attachGlyphBatch(int batch, float* positions, float* texcoords, float* colors) {
  batchAt(batch) = GlyphBatch{positions, texcoords, colors, 0};
}

uint32_t glyphTriangles(int batch) { return batchAt(batch).triangleCount; }

void resetGlyphBatches() {
  for (auto& batch : layoutState.batches) batch.triangleCount = 0;
}

float measureRun(const uint8_t* text, uint64_t length, float size, uint32_t font) {
  return measureGlyphRun(text, length, size, font, cachedGlyph);
}

int32_t layoutText(const uint8_t* text, uint64_t length, float x, float y, float size, uint16_t font,
                   uint32_t maxWidth) {
  GlyphBatch* batch = &layoutState.batches[(font & OUTLINE_BIT) ? GLYPH_BATCH_OUTLINE : GLYPH_BATCH_PLAIN];
  layoutGlyphRun(text, length, x, y, size, font, maxWidth, layoutState.color, batch, cachedGlyph);
  return 0;
}
}  // namespace tsm::text
