// Glyph quad arithmetic and the glyph batches' vertex layout: where a glyph's quad lands on screen
// and in the atlas, how far the pen moves, and the six vertices of two triangles. Single precision,
// in the order written. Pure.
#pragma once
#include <cstdint>

namespace tsm::text {
// Vertices each glyph batch array is set up for.
constexpr uint32_t GLYPH_BATCH_VERTICES = 300000;
// Most triangles one batch takes in a step: the range of its 16-bit count.
constexpr uint32_t MAX_BATCH_TRIANGLES = 65535;

// What layout needs of a cached glyph.
struct GlyphMetrics {
  int32_t x0, y0, x1, y1;  // atlas rectangle, texels, x1 and y1 exclusive
  int32_t left, top;       // bearings in pixels at the face's size
  int32_t advanceX, advanceY;  // 1/64 pixel
  uint16_t pixelSize;      // the face's pixel size
};

struct Quad {
  float u0, v0, u1, v1;  // texture rectangle, half a texel inside the glyph's own
  float x0, y0, x1, y1;  // screen rectangle, y down
};

// Width a glyph adds to a measured run at `size` pixels.
float glyphAdvanceWidth(const GlyphMetrics& g, float size);
// The glyph's quad with the pen at (penX, penY), the baseline at penY; `squeeze` narrows the bitmap.
Quad glyphQuad(const GlyphMetrics& g, float penX, float penY, float size, float squeeze);
// Moves the pen past the glyph.
void advancePen(const GlyphMetrics& g, float size, float squeeze, float* penX, float* penY);

// One batch: three arrays at 9, 6 and 12 floats per triangle.
struct GlyphBatch {
  float* positions;   // x, y, 0
  float* texcoords;   // u, v
  float* colors;      // r, g, b, a
  uint16_t triangleCount;
};

// Appends the quad's two triangles in `color`. 1 (and nothing written) when the count would pass
// MAX_BATCH_TRIANGLES, else 0.
int appendQuad(GlyphBatch* batch, const Quad& q, const float color[4]);
}  // namespace tsm::text
