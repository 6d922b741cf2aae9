// Frame arithmetic of the renderer that needs no GL: draw counts from fill lengths, the glyph
// batches' fill lengths, the debug-thumbnail tiles, and the names of framebuffer states. Pure; used
// by the frame renderer and the target set-up.
#pragma once
#include <cstdint>

namespace tsm::gfx {
// Floats per vertex that a pass's vertex count is measured in (its attribute 0 is 3 floats).
constexpr uint32_t DRAW_COUNT_FLOATS = 3;
// Floats per point-light instance that the instance count is measured in (instance attribute 3).
constexpr uint32_t INSTANCE_COUNT_FLOATS = 4;
// Floats per glyph triangle in the position, texture-coordinate and colour arrays.
constexpr uint32_t GLYPH_POSITION_FLOATS = 9;
constexpr uint32_t GLYPH_TEXCOORD_FLOATS = 6;
constexpr uint32_t GLYPH_COLOR_FLOATS = 12;
// Debug thumbnails: one per G-buffer colour attachment, at most this many pixels wide.
constexpr uint32_t DEBUG_TILE_COUNT = 3;
constexpr int32_t DEBUG_TILE_MAX_WIDTH = 400;

// Whole elements of `perElement` floats in `fillFloats` floats, never more than `capacity`
// (the elements every buffer the draw reads can hold).
uint64_t drawCount(uint64_t fillFloats, uint32_t perElement, uint64_t capacity);

struct TileSize {
  int32_t width, height;
};
// Thumbnail size on a drawable of `width` x `height`: width min(width / 3, 400), height in
// proportion. A drawable with no width or height gives an empty tile (nothing is drawn).
TileSize debugTileSize(int32_t width, int32_t height);

// The GL name of a framebuffer status, or "OTHER".
const char* framebufferStatusName(uint32_t status);
}  // namespace tsm::gfx
