// Image files for the sprite atlas, checked and decoded from memory: PNG and JPEG only, each told
// apart by its own signature and decoded by that format's library and no other, so no file can
// reach another parser by looking like it. The structure is walked before decoding (every length
// inside the file, a bounded number of scans), the decoders read from memory (a cut file is an
// error, never a wait) and the JPEG decoder's working memory is capped, so a damaged or hostile
// file is refused in bounded time and memory instead of looping or growing.
// Callers: the sprite atlas (gfx/sprites) once per loadImage; the unit tests and a fuzz target.
#pragma once
#include <cstddef>
#include <cstdint>

#include "gfx/core/spriteatlas.h"

namespace tsm::gfx {
// Most scans a JPEG may have: each scan of a progressive file visits the whole image again, so an
// unbounded count would let a small file take minutes. Encoders write about ten.
constexpr uint32_t MAX_JPEG_SCANS = 100;

// True when the whole file of `n` bytes, whose header said `kind`, is well formed enough to decode:
// PNG: IHDR first and sane (bit depth and colour type that go together, known methods), every
// chunk inside the file, a palette before the data where one is needed, image data, and IEND.
// JPEG: segments inside the file, a frame header of 1-4 components, then at least one scan (at
// most MAX_JPEG_SCANS) whose header is inside the file; entropy-coded data may be cut short.
bool checkImageStructure(const uint8_t* bytes, size_t n, ImageKind kind);

// Decodes a checked file to `width` x `height` RGBA pixels (rows top first), or nullptr when the
// decoder refuses it or its size is not the header's. `reason` (may be null) gets the decoder's
// word for a refusal, valid until the next call. Free the pixels with freeImage.
uint8_t* decodeImage(const uint8_t* bytes, size_t n, int32_t width, int32_t height, const char** reason);
void freeImage(uint8_t* pixels);
}  // namespace tsm::gfx
