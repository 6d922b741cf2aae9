// Glyph quad arithmetic and the glyph batches' vertex layout: where a glyph's quad lands on screen
// and in the atlas, how far the pen moves, and the six vertices of two triangles. Single precision,
// in the order written. Does not walk runs: text/core/layout.h does, and calls these for every
// character (the glyph store's records start with GlyphMetrics). Inline. Pure.
#pragma once
#include <cstdint>

namespace tsm::text {
// Vertices each glyph batch array is set up for.
constexpr uint32_t GLYPH_BATCH_VERTICES = 300000;
// Most triangles one batch takes in a step: the range of its 16-bit count.
constexpr uint32_t MAX_BATCH_TRIANGLES = 65535;

// What layout needs of a cached glyph (the leading fields of the cache's Glyph record).
struct GlyphMetrics {
  int32_t x0, y0, x1, y1;      // atlas rectangle, texels, x1 and y1 exclusive
  int32_t left, top;           // bearings in pixels at the face's size
  int32_t advanceX, advanceY;  // 1/64 pixel
  uint16_t pixelSize;          // the face's pixel size
};

struct Quad {
  float u0, v0, u1, v1;  // texture rectangle, half a texel inside the glyph's own
  float x0, y0, x1, y1;  // screen rectangle, y down
};

// Scale from the glyph's face size to `size` pixels. Layout keeps it while the face size stays.
inline float glyphScale(const GlyphMetrics& g, float size) { return size / static_cast<float>(g.pixelSize); }

// Width a glyph adds to a measured run at glyphScale `scale`.
inline float glyphAdvanceWidthScaled(const GlyphMetrics& g, float scale) {
  return scale * (static_cast<float>(g.advanceX) * 0.015625f);
}

// The glyph's quad with the pen at (penX, penY), the baseline at penY, at glyphScale `scale`;
// `squeeze` narrows the bitmap.
inline Quad glyphQuadScaled(const GlyphMetrics& g, float penX, float penY, float scale, float squeeze) {
  const int32_t gw = g.x1 - g.x0;
  const int32_t gh = g.y1 - g.y0;
  Quad q;
  q.u0 = static_cast<float>(g.x0) + 0.5f;
  q.v0 = static_cast<float>(g.y0) + 0.5f;
  q.u1 = static_cast<float>(g.x1) - 0.5f;
  q.v1 = static_cast<float>(g.y1) - 0.5f;
  q.x0 = static_cast<float>(g.left) * scale + penX;
  q.y0 = penY - static_cast<float>(g.top) * scale;
  q.x1 = (static_cast<float>(gw) * squeeze + static_cast<float>(g.left)) * scale + penX;
  q.y1 = penY - static_cast<float>(g.top - gh) * scale;
  return q;
}

// Moves the pen past the glyph at glyphScale `scale`.
inline void advancePenScaled(const GlyphMetrics& g, float scale, float squeeze, float* penX, float* penY) {
  *penX += static_cast<float>(g.advanceX) * 0.015625f * scale * squeeze;
  *penY += static_cast<float>(g.advanceY) * 0.015625f * scale;
}

// One batch: three arrays at 9, 6 and 12 floats per triangle, each holding GLYPH_BATCH_VERTICES
// vertices (more than MAX_BATCH_TRIANGLES need).
struct GlyphBatch {
  float* positions;  // x, y, 0
  float* texcoords;  // u, v
  float* colors;     // r, g, b, a
  uint16_t triangleCount;
};

// Writes the quad's two triangles in colour (r, g, b, a) at triangle `t` of the three arrays.
// Vertex order: (x0,y0) (x0,y1) (x1,y0) | (x0,y1) (x1,y0) (x1,y1). Written array by array, each as
// one straight run of stores.
inline void writeQuad(float* positions, float* texcoords, float* colors, uint32_t t, const Quad& q, float r,
                      float g, float b, float a) {
  float* p = positions + 9 * t;
  p[0] = q.x0, p[1] = q.y0, p[2] = 0.0f;
  p[3] = q.x0, p[4] = q.y1, p[5] = 0.0f;
  p[6] = q.x1, p[7] = q.y0, p[8] = 0.0f;
  p[9] = q.x0, p[10] = q.y1, p[11] = 0.0f;
  p[12] = q.x1, p[13] = q.y0, p[14] = 0.0f;
  p[15] = q.x1, p[16] = q.y1, p[17] = 0.0f;
  float* uv = texcoords + 6 * t;
  uv[0] = q.u0, uv[1] = q.v0;
  uv[2] = q.u0, uv[3] = q.v1;
  uv[4] = q.u1, uv[5] = q.v0;
  uv[6] = q.u0, uv[7] = q.v1;
  uv[8] = q.u1, uv[9] = q.v0;
  uv[10] = q.u1, uv[11] = q.v1;
  float* c = colors + 12 * t;
  for (int v = 0; v < 6; ++v, c += 4) c[0] = r, c[1] = g, c[2] = b, c[3] = a;
}
}  // namespace tsm::text
