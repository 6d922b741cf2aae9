// Skyline packing of glyph rectangles into the atlas: rows of falling height left to right, a full
// row restarting at the band start on top of the tallest glyphs, and the height doubling when
// exhausted. Never allocates. Pure.
//
// Invariant: the skyline never rises from left to right (landscape[c] >= landscape[c + 1]), so the
// first free row under any span is the entry at the span's left column.
#pragma once
#include <cstdint>

namespace tsm::text {
// Atlas width in texels.
constexpr uint32_t ATLAS_WIDTH = 4096;
// Atlas height the packing starts from; it only ever doubles.
constexpr uint32_t ATLAS_START_HEIGHT = 128;
// The atlas height never reaches this.
constexpr uint32_t ATLAS_MAX_HEIGHT = 4096;

struct Skyline {
  int32_t landscape[ATLAS_WIDTH];  // first free row of each column
  uint32_t width;                  // ATLAS_WIDTH
  uint32_t toHeight;               // rows the packing may use
  uint32_t maxHeight;              // toHeight stays below this
  int32_t rowStart;                // column where the current band of rows begins
  int32_t cursor;                  // next free column on the current row
};

struct PackedRect {
  int32_t x0, y0, x1, y1;  // x1 and y1 exclusive
};

// A fresh skyline: every column free, band and cursor at column 0, height `toHeight`.
void resetSkyline(Skyline* s, uint32_t toHeight);
// Starts over at the same height (a repack).
void restartSkyline(Skyline* s);
// Places a w x h rectangle. False when the height would have to reach maxHeight: then nothing
// changes and `out` is untouched. Empty rectangles take no texels.
bool packRect(Skyline* s, int32_t w, int32_t h, PackedRect* out);
// Whether the skyline invariant holds (for self-checks and tests).
bool skylineValid(const Skyline& s);
}  // namespace tsm::text
