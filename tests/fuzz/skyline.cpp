// Fuzz target: the skyline packer under arbitrary sequences of rectangle sizes, restarts, starting
// heights and atlas widths. Every placed rectangle has the size asked for, lies inside the atlas
// width and the current height, overlaps no rectangle placed since the last restart, and lies under
// the skyline; the skyline never rises from left to right; the height only doubles and stays below
// its maximum; a refusal changes nothing.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>

#include "fuzzlog.h"
#include "text/core/skyline.h"

using namespace tsm::text;

namespace {
// Most rectangles per case (the overlap check is pairwise, and each packing snapshots the skyline).
constexpr uint32_t MAX_CASE_RECTS = 256;

// The target's own checks are left out of the coverage feedback: they say nothing about the code
// under test, and tracing each of their comparisons would cost most of the time.
#define NO_COVERAGE __attribute__((no_sanitize("coverage")))

Skyline* skyline;
Skyline* before;
PackedRect placed[MAX_CASE_RECTS];
uint32_t placedCount;

NO_COVERAGE bool overlap(const PackedRect& a, const PackedRect& b) {
  return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

// The invariant, checked independently of the packer's own self-check: no column is lower than the
// one to its right, and none is above the height in use.
// It runs after every packing over up to 4096 columns, so it is written to vectorise and its reads
// (all inside the skyline) are not instrumented.
__attribute__((no_sanitize("coverage", "address", "undefined"))) bool neverRises(const Skyline& s) {
  bool rises = false;
  for (uint32_t c = 0; c + 1 < s.width; ++c) rises |= s.landscape[c] < s.landscape[c + 1];
  return !rises && s.landscape[0] <= static_cast<int32_t>(s.toHeight);
}

NO_COVERAGE void checkPlaced(const Skyline& s, const PackedRect& r) {
  for (uint32_t i = 0; i < placedCount; ++i) FUZZ_REQUIRE(!overlap(placed[i], r));
  placed[placedCount++] = r;
  // Everything placed lies under the skyline, so later placements cannot reach into it.
  for (uint32_t i = 0; i < placedCount; ++i) {
    const PackedRect& p = placed[i];
    FUZZ_REQUIRE(s.landscape[p.x0] >= p.y1 && s.landscape[p.x1 - 1] >= p.y1);
  }
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
  // The packer works within the skyline's width; narrow ones fill their rows after a few
  // rectangles, so that full rows, band starts and doubling come often.
  if (in.ConsumeBool()) s.width = in.ConsumeIntegralInRange<uint32_t>(1, 512);
  const int32_t W = static_cast<int32_t>(s.width);
  FUZZ_REQUIRE(neverRises(s));
  placedCount = 0;
  while (in.remaining_bytes() && placedCount < MAX_CASE_RECTS) {
    const int kind = in.ConsumeIntegralInRange<int>(0, 31);
    if (kind == 0) {
      restartSkyline(&s);
      placedCount = 0;
      // Every column free again: none above the first, which is 0.
      FUZZ_REQUIRE(s.landscape[0] == 0 && s.landscape[W - 1] == 0 && neverRises(s) && s.cursor == 0 && s.rowStart == 0);
      continue;
    }
    int32_t w, h;
    if (kind < 24) {  // glyph-sized
      w = in.ConsumeIntegralInRange<int32_t>(0, W < 120 ? W : 120);
      h = in.ConsumeIntegralInRange<int32_t>(0, 140);
    } else if (kind < 30) {  // large
      w = in.ConsumeIntegralInRange<int32_t>(0, W + W / 32 + 8);
      h = in.ConsumeIntegralInRange<int32_t>(0, 2200);
    } else {  // at the edges (sizes are never negative: they are a bitmap's)
      w = W + in.ConsumeIntegralInRange<int32_t>(W > 2 ? -2 : -W, 2);
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
    FUZZ_REQUIRE(r.x0 >= 0 && r.y0 >= 0 && r.x1 <= W);
    FUZZ_REQUIRE(r.y1 <= static_cast<int32_t>(s.toHeight));
    FUZZ_REQUIRE(s.toHeight == before->toHeight || s.toHeight % before->toHeight == 0);
    FUZZ_REQUIRE((s.toHeight & (s.toHeight - 1)) == 0 && s.toHeight < s.maxHeight);
    FUZZ_REQUIRE(s.width == before->width && neverRises(s));
    if (w == 0 || h == 0) continue;
    checkPlaced(s, r);
  }
  // The packer's own self-check agrees at the end of every case.
  FUZZ_REQUIRE(skylineValid(s) == neverRises(s));
  return 0;
}
