// Fuzz target: UTF-8 decoding and the layout arithmetic that follows it. Arbitrary bytes decode
// exactly as a reference decoder written from the documented rules says, never past the run, always
// advancing; the face chosen for each character is one that exists; each character's quad, pen
// movement and batch append behave within their bounds: quads never inverted for glyphs of sane
// metrics, a squeezed run no wider than its limit, a batch that never passes its triangle count, and
// batch arrays (allocated to exactly that count) never written past.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzzlog.h"
#include "text/core/coverage.h"
#include "text/core/quad.h"
#include "text/core/utf8.h"

using namespace tsm::text;

namespace {
// One step of the reference decoder; answers false where the run ends.
bool referenceDecode(const uint8_t* t, uint64_t n, uint64_t* i, uint32_t font, uint32_t* lookup) {
  if (*i >= n) return false;
  const uint8_t b = t[*i];
  uint32_t extra;
  if (b < 0x80) {
    *lookup = font << 21 | b;
    *i += 1;
    return true;
  }
  if (b < 0xC0) {
    *lookup = 0x7FFF00u | b;
    *i += 1;
    return true;
  }
  if (b < 0xE0) extra = 1;
  else if (b < 0xF0) extra = 2;
  else if (b < 0xF8) extra = 3;
  else return false;
  if (n - *i - 1 < extra) return false;
  uint32_t code = b & (0x7F >> (extra + 1));
  for (uint32_t k = 1; k <= extra; ++k) code = code << 6 | (t[*i + k] & 0x3F);
  *lookup = font << 21 | code;
  *i += 1 + extra;
  return true;
}

// Metrics of the glyph for a lookup value, as the rasteriser could give them at the chosen face's
// size: a rectangle inside the atlas, bearings and an advance of plausible magnitude.
GlyphMetrics metricsFor(uint32_t lookup, uint32_t salt) {
  uint32_t h = (lookup ^ salt) * 2654435761u;
  h ^= h >> 15;
  const Face face = faceFor((lookup >> 21) & 3, lookup & 0x1FFFFF);
  FUZZ_REQUIRE(face < FACE_COUNT);
  GlyphMetrics g{};
  g.x0 = static_cast<int32_t>(h % 4000);
  g.y0 = static_cast<int32_t>((h >> 8) % 2000);
  g.x1 = g.x0 + static_cast<int32_t>((h >> 3) % 97);
  g.y1 = g.y0 + static_cast<int32_t>((h >> 11) % 97);
  g.left = static_cast<int32_t>((h >> 5) % 64) - 16;
  g.top = static_cast<int32_t>((h >> 7) % 128) - 20;
  g.advanceX = static_cast<int32_t>((h >> 13) % (64 * 120));
  g.advanceY = 0;
  g.pixelSize = facePixelSize[face];
  return g;
}

// Batch arrays of exactly the triangles the count can reach.
float* positions;
float* texcoords;
float* colors;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  positions = static_cast<float*>(std::malloc(sizeof(float) * 9 * MAX_BATCH_TRIANGLES));
  texcoords = static_cast<float*>(std::malloc(sizeof(float) * 6 * MAX_BATCH_TRIANGLES));
  colors = static_cast<float*>(std::malloc(sizeof(float) * 12 * MAX_BATCH_TRIANGLES));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const uint32_t font = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0, 7) : in.ConsumeIntegral<uint16_t>();
  const uint32_t salt = in.ConsumeIntegral<uint32_t>();
  const float textSize = in.ConsumeFloatingPointInRange<float>(0.0f, 512.0f);
  const float x = in.ConsumeFloatingPointInRange<float>(-4096.0f, 4096.0f);
  const float y = in.ConsumeFloatingPointInRange<float>(-4096.0f, 4096.0f);
  const uint32_t maxWidth = in.ConsumeBool() ? 0 : in.ConsumeIntegralInRange<uint32_t>(1, 5000);
  const float color[4] = {in.ConsumeProbability<float>(), 0.25f, 0.5f, 1.0f};
  GlyphBatch batch{positions, texcoords, colors, 0};
  batch.triangleCount = in.ConsumeBool() ? in.ConsumeIntegral<uint16_t>() : 0;
  const std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();
  // The run in storage of exactly its length.
  uint8_t* text = static_cast<uint8_t*>(std::malloc(bytes.size()));
  if (!bytes.empty()) std::memcpy(text, bytes.data(), bytes.size());
  const uint64_t length = bytes.size();

  // Decoding, against the reference, measuring as it goes.
  uint64_t i = 0, ri = 0;
  uint32_t lookup = 0, expected = 0;
  float width = 0.0f;
  uint64_t characters = 0;
  for (;;) {
    const uint64_t before = i;
    const bool more = decodeNext(text, length, &i, font, &lookup);
    const bool expectMore = referenceDecode(text, length, &ri, font, &expected);
    FUZZ_REQUIRE(more == expectMore);
    FUZZ_REQUIRE(i <= length);
    if (!more) break;
    FUZZ_REQUIRE(i > before && i == ri && lookup == expected);
    FUZZ_REQUIRE((lookup & 0x1FFFFF) <= 0x1FFFFF);
    width += glyphAdvanceWidth(metricsFor(lookup, salt), textSize);
    FUZZ_REQUIRE(++characters <= length);
  }
  FUZZ_REQUIRE(std::isfinite(width) && width >= 0.0f);

  // Layout with the squeeze the limit asks for.
  float squeeze = 1.0f;
  if (maxWidth != 0 && width > static_cast<float>(maxWidth)) squeeze = static_cast<float>(maxWidth) / width;
  FUZZ_REQUIRE(squeeze > 0.0f && squeeze <= 1.0f);
  float px = x, py = y;
  i = 0;
  while (decodeNext(text, length, &i, font, &lookup)) {
    const GlyphMetrics g = metricsFor(lookup, salt);
    const Quad q = glyphQuad(g, px, py, textSize, squeeze);
    const float corners[8] = {q.u0, q.v0, q.u1, q.v1, q.x0, q.y0, q.x1, q.y1};
    for (float c : corners) FUZZ_REQUIRE(std::isfinite(c));
    FUZZ_REQUIRE(q.x0 <= q.x1 && q.y0 <= q.y1);
    FUZZ_REQUIRE(q.u0 == static_cast<float>(g.x0) + 0.5f && q.v1 == static_cast<float>(g.y1) - 0.5f);
    const uint16_t t = batch.triangleCount;
    const int full = appendQuad(&batch, q, color);
    if (t + 2 > MAX_BATCH_TRIANGLES) {
      FUZZ_REQUIRE(full == 1 && batch.triangleCount == t);
    } else {
      FUZZ_REQUIRE(full == 0 && batch.triangleCount == t + 2);
      const float* p = positions + 9 * t;
      const float expectedXY[12] = {q.x0, q.y0, q.x0, q.y1, q.x1, q.y0, q.x0, q.y1, q.x1, q.y0, q.x1, q.y1};
      for (int v = 0; v < 6; ++v) {
        FUZZ_REQUIRE(p[3 * v] == expectedXY[2 * v] && p[3 * v + 1] == expectedXY[2 * v + 1] && p[3 * v + 2] == 0.0f);
        FUZZ_REQUIRE(colors[12 * t + 4 * v] == color[0] && colors[12 * t + 4 * v + 3] == color[3]);
      }
      FUZZ_REQUIRE(texcoords[6 * t] == q.u0 && texcoords[6 * t + 11] == q.v1);
    }
    const float oldX = px;
    advancePen(g, textSize, squeeze, &px, &py);
    FUZZ_REQUIRE(px >= oldX && py == y);
  }
  // A squeezed run ends within its limit, give or take the rounding of each step.
  if (squeeze < 1.0f) FUZZ_REQUIRE(px - x <= static_cast<float>(maxWidth) * 1.001f + 1e-3f * (std::fabs(x) + static_cast<float>(characters)));
  std::free(text);
  return 0;
}
