// Fuzz target: UTF-8 decoding and the real text layout over a made-up glyph lookup. Any bytes (of exact
// size) decode as a reference decoder says; width and quads match a double-precision reference walk;
// a squeezed run ends within its limit; a missing glyph ends the run; the batch takes quads until full
// and nothing outside them.

#include "fuzzlog.h"
#include "text/core/coverage.h"
#include "text/core/layout.h"
#include "text/core/utf8.h"

using namespace tsm::text;

namespace {
bool referenceDecode(const uint8_t* t, uint64_t n, uint64_t* i, uint32_t font, uint32_t* lookup) {
  const uint8_t b = *i < n ? t[*i] : 0xFF;
  const uint32_t extra = b < 0xC0 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
  if (b >= 0xF8 || n - *i - 1 < extra) return false;
  uint32_t code = extra ? b & (0x7F >> (extra + 1)) : b;
  for (uint32_t k = 1; k <= extra; ++k) code = code << 6 | (t[*i + k] & 0x3F);
  *lookup = b >= 0x80 && b < 0xC0 ? 0x7FFF00u | b : font << 21 | code;
  *i += 1 + extra;
  return true;
}

// About one lookup value in 64 has no glyph, when `gaps`.
bool missingGlyph(uint32_t lookup, uint32_t salt, bool gaps) { return gaps && ((lookup * 0x9E3779B1u ^ salt) >> 26) == 0; }

// A rectangle inside the atlas, bearings and an advance of plausible size, at the chosen face's size.
GlyphMetrics metricsFor(uint32_t lookup, uint32_t salt) {
  uint32_t h = (lookup ^ salt) * 2654435761u;
  h ^= h >> 15;
  const Face face = faceFor((lookup >> 21) & 3, lookup & 0x1FFFFF);
  FUZZ_REQUIRE(face < FACE_COUNT);
  const int32_t x0 = h % 4000, y0 = (h >> 8) % 2000, left = (h >> 5) % 64, top = (h >> 7) % 128;
  return {x0, y0, x0 + int32_t((h >> 3) % 97), y0 + int32_t((h >> 11) % 97), left - 16, top - 20, int32_t((h >> 13) % (64 * 120)), 0,
          facePixelSize[face]};
}

// Batch arrays of exactly the triangles the count can reach.
float positions[9 * MAX_BATCH_TRIANGLES], texcoords[6 * MAX_BATCH_TRIANGLES], colors[12 * MAX_BATCH_TRIANGLES];

// Single-precision rounding bound for a result of `steps` roundings of values up to `magnitude`.
double slack(double steps, double magnitude) { return (steps + 8) * 0x1p-23 * magnitude + 1e-37 * (steps + 1); }
bool near(float actual, double expected, double tolerance) { return std::fabs(actual - expected) <= tolerance; }
}  // namespace

FUZZ_TARGET {
  const uint32_t font = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0, 7) : in.ConsumeIntegral<uint16_t>();
  const uint32_t salt = in.ConsumeIntegral<uint32_t>();
  const float textSize = in.ConsumeFloatingPointInRange<float>(0.0f, 512.0f);
  const float x = in.ConsumeFloatingPointInRange<float>(-4096.0f, 4096.0f), y = in.ConsumeFloatingPointInRange<float>(-4096.0f, 4096.0f);
  const uint32_t maxWidth = in.ConsumeBool() ? 0 : in.ConsumeIntegralInRange<uint32_t>(1, 5000);
  const float color[4] = {in.ConsumeProbability<float>(), 0.25f, 0.5f, 1.0f};
  const uint16_t start = in.ConsumeBool() ? in.ConsumeIntegral<uint16_t>() : 0;
  const std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();
  const bool gaps = (salt >> 28) == 1, attached = (salt >> 28) != 2;  // one case in 16 each
  const tsm::fuzz::Exact text(bytes.size(), bytes.data());
  const uint64_t length = bytes.size();

  // The glyphs up to the first one the lookup lacks; their scale as layout computes it, then double.
  std::vector<GlyphMetrics> glyphs;
  std::vector<float> scales;
  double refWidth = 0.0;
  bool endsAtGap = false;
  uint64_t i = 0, ri = 0;
  for (uint32_t lookup = 0, expected = 0;;) {
    const uint64_t before = i;
    const bool more = decodeNext(text.p, length, &i, font, &lookup);
    FUZZ_REQUIRE(more == referenceDecode(text.p, length, &ri, font, &expected) && i <= length);
    if (!more) break;
    FUZZ_REQUIRE(i > before && i == ri && lookup == expected);
    if ((endsAtGap = missingGlyph(lookup, salt, gaps))) break;
    glyphs.push_back(metricsFor(lookup, salt));
    scales.push_back(textSize / static_cast<float>(glyphs.back().pixelSize));
    refWidth += glyphs.back().advanceX / 64.0 * scales.back();
  }
  const uint32_t lookupsPerWalk = static_cast<uint32_t>(glyphs.size()) + endsAtGap;
  uint32_t lookups = 0;
  GlyphMetrics answer{};
  auto madeUp = [&](uint32_t value) { return ++lookups, missingGlyph(value, salt, gaps) ? nullptr : &(answer = metricsFor(value, salt)); };
  const float width = measureGlyphRun(text.p, length, textSize, font, madeUp);
  FUZZ_REQUIRE(lookups == lookupsPerWalk && width >= 0.0f && near(width, refWidth, slack(2.0 * glyphs.size(), refWidth)));
  const float squeeze = maxWidth != 0 && width > static_cast<float>(maxWidth) ? static_cast<float>(maxWidth) / width : 1.0f;

  // Guards on the triangle before the batch's count and the one after the last quad that fits.
  const uint32_t room = start + 2u <= MAX_BATCH_TRIANGLES ? (MAX_BATCH_TRIANGLES - start) / 2 : 0;
  const uint32_t quads = attached ? std::min<uint32_t>(room, glyphs.size()) : 0, end = start + 2 * quads;
  const float guard = -12345.0f;
  if (start > 0) positions[9 * (start - 1)] = guard;
  if (end < MAX_BATCH_TRIANGLES) positions[9 * end] = guard;
  GlyphBatch batch = attached ? GlyphBatch{positions, texcoords, colors, start} : GlyphBatch{nullptr, nullptr, nullptr, start};
  lookups = 0;
  layoutGlyphRun(text.p, length, x, y, textSize, font, maxWidth, color, &batch, madeUp);
  FUZZ_REQUIRE(batch.triangleCount == end && lookups == lookupsPerWalk * (attached && maxWidth != 0 ? 2 : 1));
  FUZZ_REQUIRE((start == 0 || positions[9 * (start - 1)] == guard) && (end >= MAX_BATCH_TRIANGLES || positions[9 * end] == guard));

  double pen = x, travelled = 0.0;
  for (uint32_t k = 0; k < glyphs.size(); ++k) {
    const GlyphMetrics& g = glyphs[k];
    const double scale = scales[k];
    if (k < quads) {
      const uint32_t t = start + 2 * k;
      const float *p = positions + 9 * t, *uv = texcoords + 6 * t;
      const float x0 = p[0], y0 = p[1], x1 = p[15], y1 = p[16];
      FUZZ_REQUIRE(x0 <= x1 && y0 <= y1 && uv[0] == g.x0 + 0.5f && uv[11] == g.y1 - 0.5f && colors[12 * t + 23] == color[3]);
      const double tolerance = slack(4.0 * k, std::fabs(x) + std::fabs(y) + travelled +
                                                  (std::abs(g.left) + std::abs(g.top) + (g.x1 - g.x0) + (g.y1 - g.y0)) * scale);
      FUZZ_REQUIRE(near(x0, pen + g.left * scale, tolerance) && near(y0, y - g.top * scale, tolerance));
      FUZZ_REQUIRE(near(x1, pen + (g.left + (g.x1 - g.x0) * static_cast<double>(squeeze)) * scale, tolerance));
      FUZZ_REQUIRE(near(y1, y - (g.top - (g.y1 - g.y0)) * scale, tolerance));
    }
    pen += g.advanceX / 64.0 * scale * squeeze;
    travelled += g.advanceX / 64.0 * scale;
  }
  FUZZ_REQUIRE(squeeze == 1.0f || pen - x <= maxWidth + slack(2.0 * glyphs.size(), travelled));
}
