// Fuzz target: the skyline packer under arbitrary sequences of rectangle sizes, restarts and
// starting heights. Every placed rectangle has the size asked for, lies inside the atlas width and
// the current height, overlaps no rectangle placed since the last restart, and lies under the
// skyline; the height only doubles and stays below its maximum; a refusal changes nothing.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzzlog.h"
#include "text/core/skyline.h"

using namespace tsm::text;

namespace {
// Most rectangles per case (the overlap check is pairwise, and each packing snapshots the skyline).
constexpr size_t MAX_CASE_RECTS = 256;

Skyline* skyline;
Skyline* before;

bool overlap(const PackedRect& a, const PackedRect& b) {
  return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  skyline = static_cast<Skyline*>(std::malloc(sizeof(Skyline)));
  before = static_cast<Skyline*>(std::malloc(sizeof(Skyline)));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  Skyline& s = *skyline;
  resetSkyline(&s, ATLAS_START_HEIGHT << in.ConsumeIntegralInRange<int>(0, 4));
  FUZZ_REQUIRE(skylineValid(s));
  std::vector<PackedRect> placed;
  placed.reserve(MAX_CASE_RECTS);
  while (in.remaining_bytes() && placed.size() < MAX_CASE_RECTS) {
    const int kind = in.ConsumeIntegralInRange<int>(0, 15);
    if (kind == 0) {
      restartSkyline(&s);
      placed.clear();
      FUZZ_REQUIRE(skylineValid(s));
      continue;
    }
    int32_t w, h;
    if (kind < 12) {  // glyph-sized
      w = in.ConsumeIntegralInRange<int32_t>(0, 120);
      h = in.ConsumeIntegralInRange<int32_t>(0, 140);
    } else if (kind < 15) {  // large
      w = in.ConsumeIntegralInRange<int32_t>(0, 4200);
      h = in.ConsumeIntegralInRange<int32_t>(0, 2200);
    } else {  // at the edges
      w = static_cast<int32_t>(ATLAS_WIDTH) + in.ConsumeIntegralInRange<int32_t>(-2, 2);
      h = in.ConsumeIntegralInRange<int32_t>(0, 1) ? static_cast<int32_t>(ATLAS_MAX_HEIGHT) + in.ConsumeIntegralInRange<int32_t>(-2, 2)
                                                   : in.ConsumeIntegralInRange<int32_t>(0, 2);
    }
    std::memcpy(before, &s, sizeof s);
    PackedRect r{-7, -7, -7, -7};
    if (!packRect(&s, w, h, &r)) {
      FUZZ_REQUIRE(std::memcmp(before, &s, sizeof s) == 0);
      FUZZ_REQUIRE(r.x0 == -7 && r.y0 == -7 && r.x1 == -7 && r.y1 == -7);
      continue;
    }
    FUZZ_REQUIRE(r.x1 - r.x0 == w && r.y1 - r.y0 == h);
    FUZZ_REQUIRE(r.x0 >= 0 && r.y0 >= 0 && r.x1 <= static_cast<int32_t>(s.width));
    FUZZ_REQUIRE(r.y1 <= static_cast<int32_t>(s.toHeight));
    FUZZ_REQUIRE(s.toHeight == before->toHeight || s.toHeight % before->toHeight == 0);
    FUZZ_REQUIRE((s.toHeight & (s.toHeight - 1)) == 0 && s.toHeight < s.maxHeight);
    FUZZ_REQUIRE(skylineValid(s));
    if (w == 0 || h == 0) continue;
    for (const PackedRect& p : placed) FUZZ_REQUIRE(!overlap(p, r));
    placed.push_back(r);
    // Everything placed lies under the skyline, so later placements cannot reach into it.
    for (const PackedRect& p : placed) {
      FUZZ_REQUIRE(s.landscape[p.x0] >= p.y1 && s.landscape[p.x1 - 1] >= p.y1);
    }
  }
  return 0;
}
