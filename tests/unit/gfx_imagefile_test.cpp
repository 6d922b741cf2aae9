// Image files: the structure check refuses what would hang, bloat or reach another parser, and
// keeps every well-formed file; the decoder gives the header's size or nothing. Files are written
// here with an independent encoder, then damaged.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gfx/core/imagefile.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_image_write.h>
#pragma GCC diagnostic pop

using namespace tsm::gfx;
using Bytes = std::vector<uint8_t>;

namespace {
constexpr int W = 13, H = 7;

Bytes source() {
  Bytes rgba(W * H * 4);
  for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 37 % 251);
  return rgba;
}

Bytes encode(bool png) {
  const Bytes rgba = source();
  Bytes out;
  auto sink = [](void* to, void* data, int n) {
    auto* b = static_cast<const uint8_t*>(data);
    static_cast<Bytes*>(to)->insert(static_cast<Bytes*>(to)->end(), b, b + n);
  };
  if (png) stbi_write_png_to_func(sink, &out, W, H, 4, rgba.data(), W * 4);
  else stbi_write_jpg_to_func(sink, &out, W, H, 4, rgba.data(), 90);
  return out;
}

uint32_t be32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }
void putBe32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes pngChunk(const char* type, const Bytes& body) {
  Bytes c(8);
  putBe32(c, 0, static_cast<uint32_t>(body.size()));
  std::memcpy(c.data() + 4, type, 4);
  c.insert(c.end(), body.begin(), body.end());
  c.insert(c.end(), {0, 0, 0, 0});  // CRCs are not checked
  return c;
}
Bytes jpegSegment(uint8_t marker, const Bytes& body) {
  Bytes s = {0xFF, marker, static_cast<uint8_t>((body.size() + 2) >> 8), static_cast<uint8_t>(body.size() + 2)};
  s.insert(s.end(), body.begin(), body.end());
  return s;
}

bool check(const Bytes& b) {
  int32_t w = 0, h = 0;
  const ImageKind kind = imageHeaderSize(b.data(), b.size(), &w, &h);
  return kind != IMAGE_UNKNOWN && checkImageStructure(b.data(), b.size(), kind);
}
}  // namespace

TEST(ImageFile, WellFormedFilesDecodeToTheHeadersSize) {
  for (const bool png : {true, false}) {
    const Bytes file = encode(png);
    ASSERT_TRUE(check(file)) << png;
    const char* reason = "unset";
    uint8_t* pixels = decodeImage(file.data(), file.size(), W, H, &reason);
    ASSERT_NE(pixels, nullptr) << reason;
    // PNG is lossless; JPEG keeps no alpha.
    if (png) EXPECT_EQ(Bytes(pixels, pixels + W * H * 4), source());
    else EXPECT_EQ(pixels[W * H * 4 - 1], 255);
    freeImage(pixels);
    // A header that says another size than the data holds is refused with a reason.
    EXPECT_EQ(decodeImage(file.data(), file.size(), W + 1, H, &reason), nullptr);
    EXPECT_NE(reason, nullptr);
  }
}

TEST(ImageFile, EveryCutPngIsRefused) {
  const Bytes png = encode(true);
  for (size_t n = 8; n < png.size(); ++n) EXPECT_FALSE(check(Bytes(png.begin(), png.begin() + n))) << n;
}

TEST(ImageFile, JpegNeedsAFrameAndAScanHeader) {
  const Bytes jpeg = encode(false);
  size_t scanEnd = 0;  // just past the first scan header
  for (size_t at = 2; at + 4 < jpeg.size();) {
    const uint8_t marker = jpeg[at + 1];
    at += 2 + (size_t{jpeg[at + 2]} << 8 | jpeg[at + 3]);
    if (marker == 0xDA) {
      scanEnd = at;
      break;
    }
  }
  for (size_t n = 2; n < jpeg.size(); ++n) {
    EXPECT_EQ(check(Bytes(jpeg.begin(), jpeg.begin() + n)), n >= scanEnd) << n << " of " << jpeg.size();
  }
}

TEST(ImageFile, DamagedAndHostileFilesAreRefused) {
  const Bytes png = encode(true), jpeg = encode(false);
  const Bytes signature(png.begin(), png.begin() + 8);
  const Bytes ihdr(png.begin() + 8, png.begin() + 33);
  Bytes idatLengthPastEnd = png;
  putBe32(idatLengthPastEnd, 33, be32(png.data() + 33) + 1000);  // the first chunk after IHDR
  Bytes badDepth = png;
  badDepth[24] = 3;  // RGBA at 3 bits
  Bytes paletteFirst = png;
  paletteFirst[25] = 3;  // palette image with no PLTE before its data
  const Bytes frame64 = jpegSegment(0xC0, {8, 0, 64, 0, 64, 1, 1, 0x11, 0});
  Bytes manyScans = {0xFF, 0xD8};
  manyScans = cat({manyScans, frame64});
  for (uint32_t i = 0; i <= MAX_JPEG_SCANS; ++i) manyScans = cat({manyScans, jpegSegment(0xDA, {1, 1, 0, 0, 63, 0}), Bytes{0x12}});
  const std::string svg = "<svg width='12000' height='12000'/>";
  struct Case {
    const char* what;
    Bytes bytes;
  };
  const Case cases[] = {
      {"png cut inside an ancillary chunk", cat({signature, ihdr, {0, 0, 0, 4, 'g', 'A', 'M', 'A'}})},
      {"png ending after an ancillary chunk", cat({signature, ihdr, pngChunk("cHRM", Bytes(32, 1))})},
      {"png chunk length past the end", idatLengthPastEnd},
      {"png depth that its colour type does not allow", badDepth},
      {"png palette image without a palette", paletteFirst},
      {"png unknown critical chunk", cat({signature, ihdr, pngChunk("ZZZZ", {}), Bytes(png.begin() + 33, png.end())})},
      {"png chunk name not letters", cat({signature, ihdr, pngChunk("a1b2", {}), Bytes(png.begin() + 33, png.end())})},
      {"jpeg frame with markup but no scan",
       cat({{0xFF, 0xD8}, jpegSegment(0xE0, Bytes(svg.begin(), svg.end())), frame64, {0xFF, 0xD9}})},
      {"jpeg scan before its frame", cat({{0xFF, 0xD8}, jpegSegment(0xDA, {1, 1, 0, 0, 63, 0}), frame64, {0xFF, 0xD9}})},
      {"jpeg second frame", cat({{0xFF, 0xD8}, frame64, frame64, jpegSegment(0xDA, {1, 1, 0, 0, 63, 0}), {0xFF, 0xD9}})},
      {"jpeg frame of 5 components", cat({{0xFF, 0xD8}, jpegSegment(0xC0, {8, 0, 64, 0, 64, 5, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0, 4, 0x11, 0, 5, 0x11, 0})})},
      {"jpeg scan header length 2", cat({{0xFF, 0xD8}, frame64, {0xFF, 0xDA, 0, 2}})},
      {"jpeg too many scans", manyScans},
      {"jpeg segment past the end", cat({Bytes(jpeg.begin(), jpeg.begin() + 2), {0xFF, 0xE1, 0xFF, 0xF0, 1, 2}})},
  };
  for (const Case& c : cases) EXPECT_FALSE(check(c.bytes)) << c.what;
  // The same many-scan file with exactly the allowed count passes the check.
  Bytes enough = cat({{0xFF, 0xD8}, frame64});
  for (uint32_t i = 0; i < MAX_JPEG_SCANS; ++i) enough = cat({enough, jpegSegment(0xDA, {1, 1, 0, 0, 63, 0}), Bytes{0x12}});
  EXPECT_TRUE(check(enough));
}
