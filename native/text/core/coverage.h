// Which face renders a code point: the mono and sans faces only cover the code points of their rows
// of a fixed table of ranges; everything else comes from the fallback face. Pure.
#pragma once
#include <cstdint>

namespace tsm::text {
enum FontId : uint32_t { FONT_FALLBACK = 0, FONT_MONO = 1, FONT_SANS = 2, FONT_FALLBACK_ALT = 3 };
enum Face : uint32_t { FACE_MONO = 0, FACE_SANS = 1, FACE_FALLBACK = 2 };
// Font ids a font word can name (2 bits).
constexpr uint32_t FONT_ID_COUNT = 4;
// Faces opened at start-up.
constexpr uint32_t FACE_COUNT = 3;

// Rows of the coverage table; the mono face consults all of them, the sans face the first 40.
constexpr int COVERAGE_ROWS = 51;
constexpr int MONO_COVERAGE_ROWS = 51;
constexpr int SANS_COVERAGE_ROWS = 40;

// Inclusive ranges (first, last), in table order.
extern const uint32_t coverageRanges[COVERAGE_ROWS][2];

// Whether one of the first `rows` rows holds `codePoint`.
bool covered(uint32_t codePoint, int rows);
// The face that renders `codePoint` asked for with font id `fontId` (0..3).
Face faceFor(uint32_t fontId, uint32_t codePoint);
// Pixel size each face is opened at.
constexpr uint16_t facePixelSize[FACE_COUNT] = {48, 96, 16};
}  // namespace tsm::text
