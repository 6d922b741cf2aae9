// Fuzz target: the sprite atlas's placing and image header reader. Every placed rectangle has the
// size asked for, lies inside the atlas and overlaps no live one; on small atlases a refusal means
// no position is free. A
// header the reader accepts names a PNG or JPEG of at least one texel each way, read from within
// the bytes given (the input is copied to a block of exactly its size, so a read past it is a
// sanitizer report).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzzlog.h"
#include "gfx/core/spriteatlas.h"

using namespace tsm::gfx;

namespace {
// Most live rectangles per case (the atlas holds at most that many images).
constexpr size_t MAX_CASE_RECTS = SPRITE_IMAGE_COUNT;

bool overlap(const AtlasRect& a, const AtlasRect& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  // The first half of the cases reads an image header from the rest of the input.
  if (in.ConsumeBool()) {
    const std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();
    int32_t width = -7, height = -7;
    const ImageKind kind = imageHeaderSize(bytes.data(), bytes.size(), &width, &height);
    FUZZ_REQUIRE(kind == IMAGE_UNKNOWN || kind == IMAGE_PNG || kind == IMAGE_JPEG);
    if (kind != IMAGE_UNKNOWN) FUZZ_REQUIRE(width >= 0 && height >= 0);
    return 0;
  }
  // Rectangles come and go; on small atlases a refusal is checked against every position.
  const int32_t side = in.ConsumeBool() ? SPRITE_ATLAS_SIDE : in.ConsumeIntegralInRange<int32_t>(1, 64);
  std::vector<AtlasRect> live;
  live.reserve(MAX_CASE_RECTS);
  while (in.remaining_bytes()) {
    if (!live.empty() && in.ConsumeIntegralInRange<int>(0, 3) == 0) {
      live.erase(live.begin() + in.ConsumeIntegralInRange<long>(0, static_cast<long>(live.size()) - 1));
      continue;
    }
    const bool large = in.ConsumeIntegralInRange<int>(0, 7) == 0;
    const int32_t w = in.ConsumeIntegralInRange<int32_t>(1, large ? side + 2 : std::min(side, 300));
    const int32_t h = in.ConsumeIntegralInRange<int32_t>(1, large ? side + 2 : std::min(side, 300));
    AtlasRect r{-7, -7, -7, -7};
    if (!placeRect(live.data(), live.size(), w, h, side, &r)) {
      if (side > 64) continue;
      for (int32_t y = 0; y + h <= side; ++y) {
        for (int32_t x = 0; x + w <= side; ++x) {
          bool free = true;
          for (const AtlasRect& p : live) free = free && !overlap(p, AtlasRect{x, y, w, h});
          FUZZ_REQUIRE(!free);
        }
      }
      continue;
    }
    FUZZ_REQUIRE(r.width == w && r.height == h);
    FUZZ_REQUIRE(r.x >= 0 && r.y >= 0 && r.x + r.width <= side && r.y + r.height <= side);
    for (const AtlasRect& p : live) FUZZ_REQUIRE(!overlap(p, r));
    if (live.size() < MAX_CASE_RECTS) live.push_back(r);
  }
  return 0;
}
