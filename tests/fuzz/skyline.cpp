// Fuzz target: the skyline packer under any sizes, restarts, heights and widths. Each rectangle has its
// size, lies inside, under the skyline and apart from the others since the last restart; the skyline
// never rises to the right; the height only doubles, below its maximum; a refusal changes nothing.

#include "fuzzlog.h"
#include "text/core/skyline.h"

using namespace tsm::text;

namespace {
constexpr uint32_t MAX_CASE_RECTS = 256;  // the overlap check is pairwise
Skyline s, before;
PackedRect placed[MAX_CASE_RECTS];
uint32_t placedCount;

// Independent of the packer's self-check; run after every packing, so vectorised and uninstrumented.
__attribute__((no_sanitize("coverage", "address", "undefined"))) bool neverRises(const Skyline& s) {
  bool rises = false;
  for (uint32_t c = 0; c + 1 < s.width; ++c) rises |= s.landscape[c] < s.landscape[c + 1];
  return !rises && s.landscape[0] <= static_cast<int32_t>(s.toHeight);
}

NO_COVERAGE bool overlap(const PackedRect& a, const PackedRect& b) { return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1; }

// No overlap with the rectangles placed before; all of them under the skyline.
NO_COVERAGE void checkPlaced(const PackedRect& r) {
  for (uint32_t i = 0; i < placedCount; ++i) FUZZ_REQUIRE(!overlap(placed[i], r));
  placed[placedCount++] = r;
  for (const PackedRect& p : std::span(placed, placedCount)) FUZZ_REQUIRE(s.landscape[p.x0] >= p.y1 && s.landscape[p.x1 - 1] >= p.y1);
}
}  // namespace

FUZZ_TARGET {
  resetSkyline(&s, ATLAS_START_HEIGHT << in.ConsumeIntegralInRange<int>(0, 4));
  // Narrow skylines fill their rows after a few rectangles: full rows, bands and doubling come often.
  if (in.ConsumeBool()) s.width = in.ConsumeIntegralInRange<uint32_t>(1, 512);
  const int32_t W = static_cast<int32_t>(s.width);
  for (placedCount = 0; in.remaining_bytes() && placedCount < MAX_CASE_RECTS;) {
    const int kind = in.ConsumeIntegralInRange<int>(0, 31);
    if (kind == 0) {
      restartSkyline(&s), placedCount = 0;
      FUZZ_REQUIRE(s.landscape[0] == 0 && s.landscape[W - 1] == 0 && neverRises(s) && s.cursor == 0 && s.rowStart == 0);
      continue;
    }
    // Glyph-sized, large, or at the edges.
    int32_t w, h;
    if (kind < 30) {
      w = in.ConsumeIntegralInRange<int32_t>(0, kind < 24 ? std::min(W, 120) : W + W / 32 + 8);
      h = in.ConsumeIntegralInRange<int32_t>(0, kind < 24 ? 140 : 2200);
    } else {
      w = W + in.ConsumeIntegralInRange<int32_t>(W > 2 ? -2 : -W, 2);
      const bool tall = in.ConsumeIntegralInRange<int32_t>(0, 1);
      h = (tall ? int32_t{ATLAS_MAX_HEIGHT} : 0) + in.ConsumeIntegralInRange<int32_t>(tall ? -2 : 0, 2);
    }
    before = s;
    PackedRect r{-7, -7, -7, -7};
    if (!packRect(&s, w, h, &r)) {
      FUZZ_REQUIRE(std::memcmp(&before, &s, sizeof s) == 0 && r.x0 == -7 && r.y0 == -7 && r.x1 == -7 && r.y1 == -7);
      continue;
    }
    FUZZ_REQUIRE(r.x1 - r.x0 == w && r.y1 - r.y0 == h && r.x0 >= 0 && r.y0 >= 0 && r.x1 <= W && r.y1 <= static_cast<int32_t>(s.toHeight));
    FUZZ_REQUIRE(s.toHeight == before.toHeight || s.toHeight % before.toHeight == 0);
    FUZZ_REQUIRE((s.toHeight & (s.toHeight - 1)) == 0 && s.toHeight < s.maxHeight && s.width == before.width && neverRises(s));
    if (w && h) checkPlaced(r);
  }
  FUZZ_REQUIRE(skylineValid(s) == neverRises(s));
}
