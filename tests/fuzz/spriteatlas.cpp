// Fuzz target: the sprite atlas's placing beside live images as they come and go. Every placed rectangle
// has its size, lies inside the atlas and overlaps no live one; on small atlases a refusal means no
// position is free. (Its image header reader is the imagefile target's.)

#include "fuzzlog.h"
#include "gfx/core/spriteatlas.h"

using namespace tsm::gfx;

namespace {
bool overlap(const AtlasRect& a, const AtlasRect& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}
}  // namespace

FUZZ_TARGET {
  const int32_t side = in.ConsumeBool() ? SPRITE_ATLAS_SIDE : in.ConsumeIntegralInRange<int32_t>(1, 64);
  std::vector<AtlasRect> live;
  while (in.remaining_bytes()) {
    if (!live.empty() && in.ConsumeIntegralInRange<int>(0, 3) == 0) {
      live.erase(live.begin() + in.ConsumeIntegralInRange<long>(0, static_cast<long>(live.size()) - 1));
      continue;
    }
    const bool large = in.ConsumeIntegralInRange<int>(0, 7) == 0;
    const int32_t w = in.ConsumeIntegralInRange<int32_t>(1, large ? side + 2 : std::min(side, 300));
    const int32_t h = in.ConsumeIntegralInRange<int32_t>(1, large ? side + 2 : std::min(side, 300));
    AtlasRect r{-7, -7, -7, -7};
    if (placeRect(live.data(), live.size(), w, h, side, &r)) {
      FUZZ_REQUIRE(r.width == w && r.height == h && r.x >= 0 && r.y >= 0 && r.x + w <= side && r.y + h <= side);
      for (const AtlasRect& p : live) FUZZ_REQUIRE(!overlap(p, r));
      if (live.size() < SPRITE_IMAGE_COUNT) live.push_back(r);
      continue;
    }
    for (int32_t y = 0; side <= 64 && y + h <= side; ++y) {
      for (int32_t x = 0; x + w <= side; ++x) {
        FUZZ_REQUIRE(std::any_of(live.begin(), live.end(), [&](const AtlasRect& p) { return overlap(p, AtlasRect{x, y, w, h}); }));
      }
    }
  }
}
