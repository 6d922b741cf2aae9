// Fuzz target: the sprite atlas's placing and its image header reader. Every placed rectangle has its
// size, lies inside the atlas and overlaps no live one; on small atlases a refusal means no position
// is free. The header reader reads only the bytes it is given (each in storage of exactly its size),
// and what it tells from a prefix of a file it tells from the whole file.

#include "fuzzlog.h"
#include "gfx/core/spriteatlas.h"

using namespace tsm::gfx;

namespace {
bool overlap(const AtlasRect& a, const AtlasRect& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

ImageKind header(const std::vector<uint8_t>& bytes, size_t n, int32_t* size) {
  size[0] = size[1] = -7;
  const ImageKind kind = imageHeaderSize(tsm::fuzz::Exact(n, bytes.data()).p, n, size, size + 1);
  FUZZ_REQUIRE(kind == IMAGE_UNKNOWN || ((kind == IMAGE_PNG || kind == IMAGE_JPEG) && size[0] >= 0 && size[1] >= 0));
  return kind;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  if (in.ConsumeBool()) {
    const std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();
    int32_t whole[2], part[2];
    const ImageKind kind = header(bytes, bytes.size(), whole);
    for (size_t n : {bytes.size() / 2, bytes.size() - (bytes.size() > 0)}) {
      const ImageKind k = header(bytes, n, part);
      FUZZ_REQUIRE(k == IMAGE_UNKNOWN || (k == kind && part[0] == whole[0] && part[1] == whole[1]));
    }
    return 0;
  }
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
  return 0;
}
