// Skyline packing. See skyline.h.
#include "text/core/skyline.h"

namespace tsm::text {
void resetSkyline(Skyline* s, uint32_t toHeight) {
  s->width = ATLAS_WIDTH;
  s->toHeight = toHeight;
  s->maxHeight = ATLAS_MAX_HEIGHT;
  restartSkyline(s);
}

void restartSkyline(Skyline* s) {
  for (auto& entry : s->landscape) entry = 0;
  s->rowStart = 0;
  s->cursor = 0;
}

bool packRect(Skyline* s, int32_t w, int32_t h, PackedRect* out) {
  const int32_t W = static_cast<int32_t>(s->width);
  int32_t* L = s->landscape;
  uint32_t H = s->toHeight;
  int32_t x = s->cursor;
  int32_t start = s->rowStart;
  if (w > W) return false;

  if (x + w > W) {
    // The row is full: the next one begins at the band start, or at the first column further on
    // whose skyline leaves room, or at column 0 of a doubled atlas.
    int32_t column = -1;
    if (start + w <= W && L[start] + h <= static_cast<int32_t>(H)) {
      column = start;
    } else {
      for (int32_t c = start + 1; c + w <= W; ++c) {
        if (L[c] + h <= static_cast<int32_t>(H)) {
          column = c;
          start = c;
          break;
        }
      }
    }
    if (column < 0) {
      if (H * 2 >= s->maxHeight) return false;
      H *= 2;
      start = 0;
      column = 0;
    }
    x = column;
  }

  // A zero-width rectangle at the right edge has no column under it; it takes no texels anyway.
  const int32_t y = x < W ? L[x] : 0;
  while (y + h > static_cast<int32_t>(H)) {
    if (H * 2 >= s->maxHeight) return false;
    H *= 2;
  }

  const int32_t top = y + h;
  for (int32_t c = x; c < x + w; ++c) L[c] = top;
  if (x > 0 && L[x - 1] < top) {
    for (int32_t c = 0; c < x; ++c) {
      if (L[c] < top) L[c] = top;
    }
  }
  *out = PackedRect{x, y, x + w, top};
  s->cursor = x + w;
  s->rowStart = start;
  s->toHeight = H;
  return true;
}

bool skylineValid(const Skyline& s) {
  for (uint32_t c = 0; c + 1 < s.width; ++c) {
    if (s.landscape[c] < s.landscape[c + 1]) return false;
  }
  return s.landscape[0] <= static_cast<int32_t>(s.toHeight);
}
}  // namespace tsm::text
