// Frame arithmetic of the renderer. See framerules.h.
#include "gfx/core/framerules.h"

namespace tsm::gfx {
uint64_t drawCount(uint64_t fillFloats, uint32_t perElement, uint64_t capacity) {
  if (perElement == 0) return 0;
  const uint64_t whole = fillFloats / perElement;
  return whole < capacity ? whole : capacity;
}

TileSize debugTileSize(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return {0, 0};
  int32_t tileWidth = width / static_cast<int32_t>(DEBUG_TILE_COUNT);
  if (tileWidth > DEBUG_TILE_MAX_WIDTH) tileWidth = DEBUG_TILE_MAX_WIDTH;
  // 64-bit product: height x tile width can pass 2^31 on very large drawables.
  const int64_t tileHeight = static_cast<int64_t>(height) * tileWidth / width;
  return {tileWidth, static_cast<int32_t>(tileHeight)};
}

const char* framebufferStatusName(uint32_t status) {
  switch (status) {
    case 0x8219: return "GL_FRAMEBUFFER_UNDEFINED";
    case 0x8CD5: return "GL_FRAMEBUFFER_COMPLETE";
    case 0x8CD6: return "GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT";
    case 0x8CD7: return "GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT";
    case 0x8CDB: return "GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER";
    case 0x8CDC: return "GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER";
    case 0x8CDD: return "GL_FRAMEBUFFER_UNSUPPORTED";
    case 0x8D56: return "GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE";
    case 0x8DA8: return "GL_FRAMEBUFFER_INCOMPLETE_LAYER_TARGETS";
    default: return "OTHER";
  }
}
}  // namespace tsm::gfx
