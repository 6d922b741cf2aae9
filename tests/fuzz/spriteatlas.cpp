// Fuzz target: the sprite atlas's shelf packer and image header reader. Every placed rectangle has
// the size asked for, lies inside the atlas and overlaps no other; a refusal changes nothing. A
// header the reader accepts names a PNG or JPEG of at least one texel each way, read from within
// the bytes given (the input is copied to a block of exactly its size, so a read past it is a
// sanitizer report).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzzlog.h"
#include "gfx/core/spriteatlas.h"

using namespace tsm::gfx;

namespace {
// Most rectangles per case (the overlap check is pairwise).
constexpr size_t MAX_CASE_RECTS = 256;

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
  const int32_t side = in.ConsumeBool() ? SPRITE_ATLAS_SIDE : in.ConsumeIntegralInRange<int32_t>(1, 4096);
  ShelfPacker packer{0, 0, 0};
  std::vector<AtlasRect> placed;
  placed.reserve(MAX_CASE_RECTS);
  while (in.remaining_bytes() && placed.size() < MAX_CASE_RECTS) {
    const bool large = in.ConsumeIntegralInRange<int>(0, 7) == 0;
    const int32_t w = in.ConsumeIntegralInRange<int32_t>(1, large ? side + 2 : 300);
    const int32_t h = in.ConsumeIntegralInRange<int32_t>(1, large ? side + 2 : 300);
    const ShelfPacker before = packer;
    AtlasRect r{-7, -7, -7, -7};
    if (!packShelf(packer, w, h, side, &r)) {
      FUZZ_REQUIRE(std::memcmp(&before, &packer, sizeof packer) == 0);
      continue;
    }
    FUZZ_REQUIRE(r.width == w && r.height == h);
    FUZZ_REQUIRE(r.x >= 0 && r.y >= 0 && r.x + r.width <= side && r.y + r.height <= side);
    for (const AtlasRect& p : placed) FUZZ_REQUIRE(!overlap(p, r));
    placed.push_back(r);
  }
  return 0;
}
