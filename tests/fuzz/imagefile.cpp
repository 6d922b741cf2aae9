// Fuzz target: image files, as loadImage takes them. The header is read, the structure checked,
// and what passes is decoded under the allocation budget: no read outside the file (the input is
// copied to a block of exactly its size), no allocation past the budget, and a decode that succeeds
// gives exactly the header's size, every texel readable. Sides are capped so that a case stays
// short; the check itself runs on every input.
#include <cstdint>
#include <vector>

#include "fuzzlog.h"
#include "gfx/core/imagefile.h"

using namespace tsm::gfx;

namespace {
// Largest decoded image per case, in texels.
constexpr int64_t MAX_CASE_TEXELS = 256 * 256;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> file(data, data + size);
  int32_t w = 0, h = 0;
  const ImageKind kind = imageHeaderSize(file.data(), file.size(), &w, &h);
  if (kind == IMAGE_UNKNOWN) {
    FUZZ_REQUIRE(!checkImageStructure(file.data(), file.size(), kind));
    return 0;
  }
  if (!checkImageStructure(file.data(), file.size(), kind)) return 0;
  if (w < 1 || h < 1 || int64_t{w} * h > MAX_CASE_TEXELS) return 0;
  uint8_t* pixels = decodeImage(file.data(), file.size(), w, h, nullptr);
  if (!pixels) return 0;
  uint32_t sum = 0;
  for (size_t i = 0; i < static_cast<size_t>(w) * h * 4; ++i) sum += pixels[i];
  freeImage(pixels);
  return sum == 0xFFFFFFFFu;  // keeps the reads
}
