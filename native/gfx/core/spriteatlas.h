// The sprite atlas's pure parts: placing image rectangles in the square atlas beside the live ones,
// and the image header reader that tells an image's size before anything decodes it (so no file can make
// the decoder allocate more than the atlas holds). Never allocates.
#pragma once
#include <cstddef>
#include <cstdint>

#include "contract.h"

namespace tsm::gfx {
// Side of the square sprite atlas in texels (RGBA, 16 MiB once the host first fills it).
constexpr int32_t SPRITE_ATLAS_SIDE = 2048;
// Image ids the host can name (0-255).
constexpr uint32_t SPRITE_IMAGE_COUNT = contract::IMAGE_COUNT;
// Transparent texels kept around every image, so filtering at its edge never reads a neighbour.
constexpr int32_t SPRITE_GUTTER = 1;
// Largest image side: an image and its gutter must fit the atlas.
constexpr int32_t MAX_SPRITE_SIDE = SPRITE_ATLAS_SIDE - 2 * SPRITE_GUTTER;
static_assert(MAX_SPRITE_SIDE == contract::MAX_IMAGE_SIDE, "the contract's largest image side is what the atlas holds");

struct AtlasRect {
  int32_t x, y, width, height;
};

// Finds a place for a w x h rectangle (gutter included by the caller) in an atlas of `side`
// texels beside the `count` rectangles already `taken` (at most SPRITE_IMAGE_COUNT): the lowest,
// then leftmost, free position. Complete: when any position is free, one is found, so space given
// back by a moved or replaced image is used again. False when nothing fits or w, h < 1.
// Allocates nothing; the search costs O(count^3) overlap tests at worst.
bool placeRect(const AtlasRect* taken, size_t count, int32_t w, int32_t h, int32_t side, AtlasRect* out);

enum ImageKind : uint32_t { IMAGE_UNKNOWN = 0, IMAGE_PNG, IMAGE_JPEG };
// Reads the size of a PNG (its IHDR) or baseline/progressive JPEG (its first SOF marker) from the
// first `n` bytes of a file. IMAGE_UNKNOWN when the bytes are neither or the size is not within them.
ImageKind imageHeaderSize(const uint8_t* bytes, size_t n, int32_t* width, int32_t* height);
}  // namespace tsm::gfx
