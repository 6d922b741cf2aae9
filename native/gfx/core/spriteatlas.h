// The sprite atlas's pure parts: shelf packing of image rectangles into the square atlas, and the
// image header reader that tells an image's size before anything decodes it (so no file can make
// the decoder allocate more than the atlas holds). Never allocates.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tsm::gfx {
// Side of the square sprite atlas in texels (RGBA, 16 MiB once the host first fills it).
constexpr int32_t SPRITE_ATLAS_SIDE = 2048;
// Image ids the host can name (0-255).
constexpr uint32_t SPRITE_IMAGE_COUNT = 256;
// Transparent texels kept around every image, so filtering at its edge never reads a neighbour.
constexpr int32_t SPRITE_GUTTER = 1;
// Largest image side: an image and its gutter must fit the atlas.
constexpr int32_t MAX_SPRITE_SIDE = SPRITE_ATLAS_SIDE - 2 * SPRITE_GUTTER;

struct AtlasRect {
  int32_t x, y, width, height;
};

// Shelves filled left to right; a new shelf starts above the tallest image of the last one.
struct ShelfPacker {
  int32_t shelfY;       // bottom row of the current shelf
  int32_t shelfHeight;  // tallest rectangle on it so far
  int32_t cursorX;      // next free column on it
};

// Places a w x h rectangle (gutter included by the caller) in an atlas of `side` texels. False when
// it does not fit (nothing changes); w and h must be at least 1.
bool packShelf(ShelfPacker& packer, int32_t w, int32_t h, int32_t side, AtlasRect* out);

enum ImageKind : uint32_t { IMAGE_UNKNOWN = 0, IMAGE_PNG, IMAGE_JPEG };
// Reads the size of a PNG (its IHDR) or baseline/progressive JPEG (its first SOF marker) from the
// first `n` bytes of a file. IMAGE_UNKNOWN when the bytes are neither or the size is not within them.
ImageKind imageHeaderSize(const uint8_t* bytes, size_t n, int32_t* width, int32_t* height);
}  // namespace tsm::gfx
