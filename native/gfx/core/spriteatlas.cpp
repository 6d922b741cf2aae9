// Placing and image headers of the sprite atlas. See spriteatlas.h.
#include "gfx/core/spriteatlas.h"

#include <algorithm>

namespace tsm::gfx {
namespace {
uint32_t be16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | p[1]; }
uint32_t be32(const uint8_t* p) { return (be16(p) << 16) | be16(p + 2); }

constexpr uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// A side as a positive int32, or 0 when out of that range.
int32_t side(uint32_t v) { return v >= 1 && v <= 0x7fffffffu ? static_cast<int32_t>(v) : 0; }
}  // namespace

bool placeRect(const AtlasRect* taken, size_t count, int32_t w, int32_t h, int32_t atlasSide, AtlasRect* out) {
  if (w < 1 || h < 1 || w > atlasSide || h > atlasSide || count > SPRITE_IMAGE_COUNT) return false;
  // A free position can slide down and left until each side touches the atlas edge or another
  // rectangle, so only x in {0, right edges} and y in {0, top edges} need trying.
  int32_t xs[SPRITE_IMAGE_COUNT + 1], ys[SPRITE_IMAGE_COUNT + 1];
  size_t nx = 0, ny = 0;
  xs[nx++] = 0;
  ys[ny++] = 0;
  for (size_t i = 0; i < count; ++i) {
    if (taken[i].x + taken[i].width + w <= atlasSide) xs[nx++] = taken[i].x + taken[i].width;
    if (taken[i].y + taken[i].height + h <= atlasSide) ys[ny++] = taken[i].y + taken[i].height;
  }
  std::sort(xs, xs + nx);
  std::sort(ys, ys + ny);
  for (size_t j = 0; j < ny; ++j) {
    if (j && ys[j] == ys[j - 1]) continue;
    for (size_t i = 0; i < nx; ++i) {
      if (i && xs[i] == xs[i - 1]) continue;
      const AtlasRect r{xs[i], ys[j], w, h};
      bool free = true;
      for (size_t k = 0; k < count && free; ++k) {
        const AtlasRect& t = taken[k];
        free = r.x >= t.x + t.width || t.x >= r.x + w || r.y >= t.y + t.height || t.y >= r.y + h;
      }
      if (free) {
        *out = r;
        return true;
      }
    }
  }
  return false;
}

ImageKind imageHeaderSize(const uint8_t* b, size_t n, int32_t* width, int32_t* height) {
  // PNG: signature, then the IHDR chunk (length, "IHDR", width, height, both big-endian).
  if (n >= 24 && b[0] == PNG_SIGNATURE[0]) {
    for (size_t i = 0; i < 8; ++i) {
      if (b[i] != PNG_SIGNATURE[i]) return IMAGE_UNKNOWN;
    }
    if (b[12] != 'I' || b[13] != 'H' || b[14] != 'D' || b[15] != 'R') return IMAGE_UNKNOWN;
    *width = side(be32(b + 16));
    *height = side(be32(b + 20));
    return IMAGE_PNG;
  }
  // JPEG: SOI, then segments (0xFF, marker, 16-bit length counting itself) up to a start of frame.
  if (n < 4 || b[0] != 0xFF || b[1] != 0xD8) return IMAGE_UNKNOWN;
  size_t at = 2;
  while (at + 4 <= n) {
    if (b[at] != 0xFF) return IMAGE_UNKNOWN;
    const uint8_t marker = b[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // markers without a length
      at += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return IMAGE_UNKNOWN;  // image data before any frame
    const size_t length = be16(b + at + 2);
    if (length < 2) return IMAGE_UNKNOWN;
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (at + 9 > n || length < 7) return IMAGE_UNKNOWN;
      *height = side(be16(b + at + 5));
      *width = side(be16(b + at + 7));
      return IMAGE_JPEG;
    }
    at += 2 + length;
  }
  return IMAGE_UNKNOWN;
}
}  // namespace tsm::gfx
