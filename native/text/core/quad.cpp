// Glyph quad arithmetic. See quad.h.
#include "text/core/quad.h"

namespace tsm::text {
float glyphAdvanceWidth(const GlyphMetrics& g, float size) {
  return (size / static_cast<float>(g.pixelSize)) * (static_cast<float>(g.advanceX) * 0.015625f);
}

Quad glyphQuad(const GlyphMetrics& g, float penX, float penY, float size, float squeeze) {
  const float scale = size / static_cast<float>(g.pixelSize);
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

void advancePen(const GlyphMetrics& g, float size, float squeeze, float* penX, float* penY) {
  const float scale = size / static_cast<float>(g.pixelSize);
  *penX += static_cast<float>(g.advanceX) * 0.015625f * scale * squeeze;
  *penY += static_cast<float>(g.advanceY) * 0.015625f * scale;
}

int appendQuad(GlyphBatch* batch, const Quad& q, const float color[4]) {
  const uint32_t t = batch->triangleCount;
  if (t + 2 > MAX_BATCH_TRIANGLES) return 1;
  const float corners[6][4] = {
      {q.x0, q.y0, q.u0, q.v0}, {q.x0, q.y1, q.u0, q.v1}, {q.x1, q.y0, q.u1, q.v0},
      {q.x0, q.y1, q.u0, q.v1}, {q.x1, q.y0, q.u1, q.v0}, {q.x1, q.y1, q.u1, q.v1},
  };
  float* position = batch->positions + 9 * t;
  float* texcoord = batch->texcoords + 6 * t;
  float* colour = batch->colors + 12 * t;
  for (const auto& v : corners) {
    *position++ = v[0];
    *position++ = v[1];
    *position++ = 0.0f;
    *texcoord++ = v[2];
    *texcoord++ = v[3];
    for (int c = 0; c < 4; ++c) *colour++ = color[c];
  }
  batch->triangleCount = static_cast<uint16_t>(t + 2);
  return 0;
}
}  // namespace tsm::text
