// Fuzz target: image files as loadImage takes them, in storage of exactly their size: the header
// reader tells from a prefix what it tells from the whole file; the structure check passes only a
// known kind; a decode that succeeds gives every texel of the header's size (sides capped for speed).
#include "fuzzlog.h"
#include "gfx/core/imagefile.h"

using namespace tsm::gfx;

namespace {
ImageKind header(const uint8_t* data, size_t n, int32_t* side) {
  side[0] = side[1] = -7;
  const ImageKind kind = imageHeaderSize(tsm::fuzz::Exact(n, data).p, n, side, side + 1);
  FUZZ_REQUIRE(kind == IMAGE_UNKNOWN || ((kind == IMAGE_PNG || kind == IMAGE_JPEG) && side[0] >= 0 && side[1] >= 0));
  return kind;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int32_t side[2], part[2];
  const ImageKind kind = header(data, size, side);
  for (size_t n : {size / 2, size - (size > 0)}) {
    const ImageKind k = header(data, n, part);
    FUZZ_REQUIRE(k == IMAGE_UNKNOWN || (k == kind && part[0] == side[0] && part[1] == side[1]));
  }
  const tsm::fuzz::Exact file(size, data);
  const bool checked = checkImageStructure(file.p, size, kind);
  FUZZ_REQUIRE(kind != IMAGE_UNKNOWN || !checked);
  const int32_t w = side[0], h = side[1];
  if (!checked || w < 1 || h < 1 || int64_t{w} * h > 256 * 256) return 0;
  uint8_t* pixels = decodeImage(file.p, size, w, h, nullptr);
  uint32_t sum = 0;
  for (size_t i = 0; pixels && i < static_cast<size_t>(w) * h * 4; ++i) sum += pixels[i];
  freeImage(pixels);
  return sum == 0xFFFFFFFFu;  // keeps the reads
}
