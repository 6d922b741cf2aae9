// The sprite atlas: the rectangle texture on unit 11 (bound to every program as `sprites`), which
// stays 0 x 0 until the host first puts an image in it. Images come from PNG or JPEG files
// (decoded by gfx/core/imagefile) or from RGBA pixels, under ids 0-255, each into a rectangle of the atlas the result
// names. Callers: the loadImage / setImage exports, between steps.
#pragma once
#include <cstddef>
#include <cstdint>

#include "contract.h"
#include "gfx/core/spriteatlas.h"

namespace tsm::gfx {
// Longest image path in bytes.
constexpr size_t MAX_IMAGE_PATH = contract::MAX_IMAGE_PATH;
// Largest image file read.
constexpr long MAX_IMAGE_FILE_BYTES = contract::MAX_IMAGE_FILE_BYTES;

// Results of the two calls.
enum ImageStatus : int32_t {
  IMAGE_OK = 0,
  IMAGE_NO_GL = 1,         // no GL context (never made, or after quit) or `ready` not run yet
  IMAGE_UNREADABLE = 2,    // the file cannot be opened or read, or its path is too long
  IMAGE_NOT_SUPPORTED = 3, // not a PNG or JPEG, or damaged
  IMAGE_TOO_LARGE = 4,     // a side of 0 or over MAX_SPRITE_SIDE, or a file over MAX_IMAGE_FILE_BYTES
  IMAGE_ATLAS_FULL = 5,    // no room left in the atlas
  IMAGE_BAD_PIXELS = 6,    // the pixel data is not width x height x 4 bytes
};

// Puts the image file at `path` under `id` (below SPRITE_IMAGE_COUNT). An id loaded before keeps
// its place when the new image fits in it; otherwise it moves and its old place is free again. On
// IMAGE_OK `rect` is where its top-left texel lies (texel t grows downwards in the image) and its
// size. A refusal leaves the id's image where and as it was.
int32_t loadImage(uint32_t id, const char* path, AtlasRect* rect);
// The same with `width` x `height` RGBA pixels, rows top first.
int32_t setImage(uint32_t id, const uint8_t* rgba, size_t bytes, int32_t width, int32_t height, AtlasRect* rect);
}  // namespace tsm::gfx
