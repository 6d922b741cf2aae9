// Fuzz target: image files as loadImage takes them (header, structure check, decode), in storage of
// exactly their size: no read outside the file, and a decode that succeeds gives every texel of the
// header's size. Sides are capped so that a case stays short.
#include "fuzzlog.h"
#include "gfx/core/imagefile.h"

using namespace tsm::gfx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const tsm::fuzz::Exact file(size, data);
  int32_t w = 0, h = 0;
  const ImageKind kind = imageHeaderSize(file.p, size, &w, &h);
  const bool checked = checkImageStructure(file.p, size, kind);
  FUZZ_REQUIRE(kind != IMAGE_UNKNOWN || !checked);
  if (!checked || w < 1 || h < 1 || int64_t{w} * h > 256 * 256) return 0;
  uint8_t* pixels = decodeImage(file.p, size, w, h, nullptr);
  uint32_t sum = 0;
  for (size_t i = 0; pixels && i < static_cast<size_t>(w) * h * 4; ++i) sum += pixels[i];
  freeImage(pixels);
  return sum == 0xFFFFFFFFu;  // keeps the reads
}
