// The graphics core apart from the mesh kernels: frame arithmetic, uniform-set bookkeeping, the
// sampling kernels, the sprite atlas and image files (written here with an independent encoder, then
// damaged).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "gfx/core/framerules.h"
#include "gfx/core/imagefile.h"
#include "gfx/core/kernels.h"
#include "gfx/core/uniformset.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_image_write.h>
#pragma GCC diagnostic pop

using namespace tsm::gfx;
using Bytes = std::vector<uint8_t>;

TEST(FrameRules, DrawCountsTilesAndStatusNames) {
  // Whole elements of the fill length (3 floats a vertex, 4 an instance), never past the capacity.
  const struct { uint64_t fill; uint32_t per; uint64_t capacity, count; } draws[] = {
      {0, 3, 100000, 0}, {9, 3, 100000, 3}, {10, 3, 100000, 3}, {11, 3, 100000, 3}, {8, 4, 100000, 2},
      {7, 4, 100000, 1}, {300003, 3, 100000, 100000}, {0xFFFFFFFFull, 3, 100000, 100000}, {9, 3, 0, 0}, {9, 0, 100, 0},
  };
  for (const auto& c : draws) EXPECT_EQ(drawCount(c.fill, c.per, c.capacity), c.count) << c.fill << "/" << c.per;
  // Debug tiles: a third of the width up to 400, the drawable's aspect; an empty drawable gives an
  // empty tile (never a division by zero) and large ones do not overflow the proportion.
  const struct { int32_t w, h, tileWidth, tileHeight; } tiles[] = {
      {1920, 1080, 400, 225}, {900, 600, 300, 200}, {1400, 800, 400, 228}, {1200, 700, 400, 233}, {1199, 700, 399, 232},
      {0, 0, 0, 0}, {0, 800, 0, 0}, {1400, 0, 0, 0}, {-3, 800, 0, 0}, {800, -1, 0, 0}, {2, 800, 0, 0},
      {100000, 100000, 400, 400}, {3, 2000000000, 1, 666666666},
  };
  for (const auto& c : tiles) {
    const TileSize t = debugTileSize(c.w, c.h);
    EXPECT_EQ(std::pair(t.width, t.height), std::pair(c.tileWidth, c.tileHeight)) << c.w << "x" << c.h;
  }
  EXPECT_STREQ(framebufferStatusName(0x8CD6), "GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT");
  for (uint32_t other : {0u, 0x8CD8u, 0xFFFFFFFFu}) EXPECT_STREQ(framebufferStatusName(other), "OTHER");
}

// A new level is stored and marked in each set that held another, an equal one marks nothing; a frame
// takes each mark once, and sends it only where the program has the uniform.
TEST(UniformSets, QualitySettersMarkAndFramesTakeOnce) {
  UniformSet sets[2] = {};
  sets[0].scalars[SHADOW_QUALITY] = {4, 0, SCALAR_INT, {.i = 2}, 0, nullptr};
  sets[1].scalars[SHADOW_QUALITY] = {-1, 0, SCALAR_NONE, {.i = 3}, 0, nullptr};
  EXPECT_EQ(markQuality(sets, 2, SHADOW_QUALITY, 3), 1u);
  EXPECT_TRUE(sets[0].scalars[SHADOW_QUALITY].value.i == 3 && sets[0].scalars[SHADOW_QUALITY].changed && !sets[1].scalars[SHADOW_QUALITY].changed);
  EXPECT_EQ(markQuality(sets, 2, SHADOW_QUALITY, -5), 2u);
  EXPECT_TRUE(sets[1].scalars[SHADOW_QUALITY].value.i == -5 && sets[1].scalars[SHADOW_QUALITY].changed && !sets[0].scalars[ANTIALIAS].changed);
  EXPECT_TRUE(takeChanged(sets[0].scalars[SHADOW_QUALITY]) && !takeChanged(sets[0].scalars[SHADOW_QUALITY]));
  EXPECT_TRUE(!takeChanged(sets[1].scalars[SHADOW_QUALITY]) && !sets[1].scalars[SHADOW_QUALITY].changed);
  uint8_t block[64] = {};
  EXPECT_TRUE(blockFeeds(block, 64, 64) && blockFeeds(block, 100, 12));
  EXPECT_FALSE(blockFeeds(block, 63, 64) || blockFeeds(nullptr, 64, 64));
}

TEST(Kernels, SsaoSampleLengthsFollowTheSquareOfTheRamp) {
  uint32_t state[4] = {42u, 4242u, 424242u, 42424242u};
  float kernel[64][3];
  generateSsaoKernel(state, kernel);
  for (int i = 0; i < 64; ++i) EXPECT_NEAR(std::hypot(kernel[i][0], kernel[i][1], kernel[i][2]), std::pow(0.1 + 0.9 * i / 64.0, 2), 1e-5) << i;
  EXPECT_NE(state[0], 42u) << "the kernel's draws advance the generator";
}

// Tiles are kept when their sixteen unit values sum to [7.2, 8.8], bounds included. Each attempt logs
// its digits (tenths) and average; the last logged is the tile kept.
TEST(Kernels, NoiseTileLogsEveryAttemptAndKeepsTheLast) {
  EXPECT_TRUE(noiseTileAccepted(7.2) && noiseTileAccepted(8.8) && noiseTileAccepted(8.0));
  EXPECT_FALSE(noiseTileAccepted(std::nextafter(7.2, 0.0)) || noiseTileAccepted(std::nextafter(8.8, 9.0)));
  int retried = 0;
  for (uint32_t seed = 1; seed < 40; ++seed) {
    uint32_t state[4] = {seed, seed + 1, seed + 2, seed + 3};
    float tile[16];
    testing::internal::CaptureStdout();
    const int attempts = generateNoiseTile(state, tile);
    const std::string out = testing::internal::GetCapturedStdout();
    std::string last = "noiseTile: ";
    double sum = 0;
    for (float v : tile) sum += v, last += std::to_string(static_cast<int>(v * 10.0f)) + " ";
    char average[64];
    std::snprintf(average, sizeof average, "\n Average: %f\n", sum * 0.0625);
    EXPECT_TRUE(sum >= 7.2 && sum <= 8.8 && *std::min_element(tile, tile + 16) >= 0 && *std::max_element(tile, tile + 16) <= 1) << seed;
    EXPECT_TRUE(out.ends_with(last + average)) << out;
    size_t lines = 0;
    for (size_t at = out.find("noiseTile: "); at != std::string::npos; at = out.find("noiseTile: ", at + 1)) ++lines;
    EXPECT_EQ(lines, static_cast<size_t>(attempts)) << seed;
    retried += attempts > 1;
  }
  EXPECT_GT(retried, 0);
}

// The lowest row first, then the leftmost place in it, trying only the atlas edges and the others'
// right and top edges; a refusal when nothing is free or the size is out of range.
TEST(SpriteAtlas, PlacesLowestThenLeftmostBesideTheOthers) {
  const struct { std::vector<AtlasRect> taken; int32_t w, h; bool ok; int32_t x, y; } cases[] = {
      {{}, 4, 2, true, 0, 0}, {{{0, 0, 4, 2}}, 3, 5, true, 4, 0}, {{{0, 0, 4, 2}}, 7, 9, false, 0, 0},
      {{{0, 0, 4, 2}}, 8, 5, true, 0, 2}, {{{0, 0, 10, 4}}, 10, 6, true, 0, 4}, {{{0, 0, 10, 4}}, 1, 7, false, 0, 0},
      {{{0, 0, 3, 3}, {3, 0, 3, 6}, {6, 0, 4, 2}}, 4, 8, true, 6, 2}, {{{0, 0, 3, 3}, {3, 0, 3, 6}, {6, 0, 4, 2}}, 5, 2, true, 0, 6},
      {{}, 0, 5, false, 0, 0}, {{}, 5, 0, false, 0, 0}, {{}, -1, 5, false, 0, 0}, {{}, 11, 1, false, 0, 0}, {{}, 1, 11, false, 0, 0},
  };
  for (const auto& c : cases) {
    AtlasRect r{-1, -1, -1, -1};
    EXPECT_EQ(placeRect(c.taken.data(), c.taken.size(), c.w, c.h, 10, &r), c.ok) << c.w << "x" << c.h;
    EXPECT_TRUE(!c.ok || (r.x == c.x && r.y == c.y && r.width == c.w && r.height == c.h)) << c.w << "x" << c.h << " at " << r.x << "," << r.y;
  }
}

TEST(SpriteAtlas, ImageHeaders) {
  const Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                     0, 0, 0x01, 0x02, 0, 0, 0, 0x30, 8, 6, 0, 0, 0};
  // A JPEG with an APP0 segment before a progressive frame header (SOF2): 480 high, 640 wide.
  const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 1, 2, 0xFF, 0xFF, 0xC2, 0, 11, 8, 0x01, 0xE0, 0x02, 0x80, 3};
  Bytes bigPng = png;
  bigPng[16] = 0xFF;  // width 0xFF000102: beyond int32, reported as 0 (refused by the caller)
  const struct { const char* what; Bytes bytes; ImageKind kind; int32_t width, height; } cases[] = {
      {"png", png, IMAGE_PNG, 258, 48},
      {"jpeg", jpeg, IMAGE_JPEG, 640, 480},
      {"png width past int32", bigPng, IMAGE_PNG, 0, 48},
      {"png cut short", {png.begin(), png.begin() + 20}, IMAGE_UNKNOWN, 0, 0},
      {"jpeg with image data first", {0xFF, 0xD8, 0xFF, 0xDA, 0, 2, 0xFF, 0xC0, 0, 11, 8, 0, 1, 0, 1}, IMAGE_UNKNOWN, 0, 0},
      {"jpeg ending before its frame", {0xFF, 0xD8, 0xFF, 0xD9, 0, 2, 0xFF, 0xC0, 0, 11, 8, 0, 1, 0, 1}, IMAGE_UNKNOWN, 0, 0},
      {"jpeg segment length 0", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0xFF, 0xC0, 0, 11, 8, 0, 1, 0, 1}, IMAGE_UNKNOWN, 0, 0},
      {"huffman table is no frame", {0xFF, 0xD8, 0xFF, 0xC4, 0, 2}, IMAGE_UNKNOWN, 0, 0},
      {"text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'}, IMAGE_UNKNOWN, 0, 0},
  };
  int32_t w, h;
  for (const auto& c : cases) {
    w = h = 0;
    const ImageKind kind = imageHeaderSize(c.bytes.data(), c.bytes.size(), &w, &h);
    EXPECT_EQ(std::tuple(kind, w, h), std::tuple(c.kind, c.width, c.height)) << c.what;
  }
  // Every prefix that ends before the width is refused without reading past it.
  for (size_t n = 0; n + 1 < jpeg.size(); ++n) {
    const Bytes prefix(jpeg.begin(), jpeg.begin() + static_cast<long>(n));
    EXPECT_EQ(imageHeaderSize(prefix.data(), prefix.size(), &w, &h), IMAGE_UNKNOWN) << n;
  }
}

namespace {
constexpr int W = 13, H = 7;

Bytes source() {
  Bytes rgba(W * H * 4);
  for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 37 % 251);
  return rgba;
}

Bytes encode(bool png) {
  Bytes out;
  auto sink = [](void* to, void* data, int n) { static_cast<Bytes*>(to)->insert(static_cast<Bytes*>(to)->end(), (uint8_t*)data, (uint8_t*)data + n); };
  if (png) stbi_write_png_to_func(sink, &out, W, H, 4, source().data(), W * 4);
  else stbi_write_jpg_to_func(sink, &out, W, H, 4, source().data(), 90);
  return out;
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
// A chunk with a zero CRC (CRCs are not checked).
Bytes pngChunk(const char* type, const Bytes& body) { return cat({be32(uint32_t(body.size())), Bytes(type, type + 4), body, be32(0)}); }
Bytes jpegSegment(uint8_t marker, const Bytes& body) {
  return cat({{0xFF, marker, static_cast<uint8_t>((body.size() + 2) >> 8), static_cast<uint8_t>(body.size() + 2)}, body});
}

bool check(const Bytes& b) {
  int32_t w = 0, h = 0;
  const ImageKind kind = imageHeaderSize(b.data(), b.size(), &w, &h);
  return kind != IMAGE_UNKNOWN && checkImageStructure(b.data(), b.size(), kind);
}
}  // namespace

TEST(ImageFile, WellFormedFilesDecodeToTheHeadersSizeAndEveryCutCopyIsRefused) {
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
    // A JPEG needs its frame and a scan header; any PNG cut short is refused.
    size_t whole = file.size();
    for (size_t at = 2; !png && at + 4 < file.size();) {
      const uint8_t marker = file[at + 1];
      at += 2 + (size_t{file[at + 2]} << 8 | file[at + 3]);
      if (marker == 0xDA) {
        whole = at;
        break;
      }
    }
    for (size_t n = png ? 8 : 2; n < file.size(); ++n) {
      EXPECT_EQ(check(Bytes(file.begin(), file.begin() + static_cast<long>(n))), n >= whole) << png << " cut at " << n;
    }
  }
}

TEST(ImageFile, PngHeaderFieldsAndChunksAsTheFormatAllowsThem) {
  const Bytes png = encode(true), signature(png.begin(), png.begin() + 8), rest(png.begin() + 33, png.end());
  // The file with its header's height, bit depth and colour type replaced, and `chunks` before its data.
  const auto with = [&](uint32_t height, uint8_t depth, uint8_t type, const Bytes& chunks) {
    Bytes ihdr(png.begin() + 8, png.begin() + 33);
    const Bytes h = be32(height);
    std::copy(h.begin(), h.end(), ihdr.begin() + 12);
    ihdr[16] = depth, ihdr[17] = type;
    return cat({signature, ihdr, chunks, rest});
  };
  const Bytes palette = pngChunk("PLTE", Bytes(6, 0));
  const struct { const char* what; Bytes bytes; bool ok; } cases[] = {
      {"grey at 4 bits", with(H, 4, 0, {}), true},
      {"a compressed text chunk", with(H, 8, 6, pngChunk("zTXt", Bytes(4, 'a'))), true},
      {"palette at 8 bits", with(H, 8, 3, palette), true},
      {"palette at 16 bits", with(H, 16, 3, palette), false},
      {"a palette of 4 bytes", with(H, 8, 3, pngChunk("PLTE", Bytes(4, 0))), false},
      {"height 0", with(0, 8, 6, {}), false},
  };
  for (const auto& c : cases) EXPECT_EQ(check(c.bytes), c.ok) << c.what;
}

TEST(ImageFile, DamagedAndHostileFilesAreRefused) {
  const Bytes png = encode(true), jpeg = encode(false);
  const Bytes signature(png.begin(), png.begin() + 8), ihdr(png.begin() + 8, png.begin() + 33), rest(png.begin() + 33, png.end());
  Bytes idatLengthPastEnd = png, badDepth = png, paletteFirst = png;
  idatLengthPastEnd[35] += 4;  // the first chunk after IHDR, 1024 bytes longer
  badDepth[24] = 3;            // RGBA at 3 bits
  paletteFirst[25] = 3;        // palette image with no PLTE before its data
  const Bytes frame64 = jpegSegment(0xC0, {8, 0, 64, 0, 64, 1, 1, 0x11, 0}), scan = jpegSegment(0xDA, {1, 1, 0, 0, 63, 0});
  Bytes manyScans = cat({{0xFF, 0xD8}, frame64});
  for (uint32_t i = 0; i < MAX_JPEG_SCANS; ++i) manyScans = cat({manyScans, scan, Bytes{0x12}});
  EXPECT_TRUE(check(manyScans)) << "the allowed count of scans";
  const std::string svg = "<svg width='12000' height='12000'/>";
  const struct { const char* what; Bytes bytes; } cases[] = {
      {"png cut inside an ancillary chunk", cat({signature, ihdr, {0, 0, 0, 4, 'g', 'A', 'M', 'A'}})},
      {"png ending after an ancillary chunk", cat({signature, ihdr, pngChunk("cHRM", Bytes(32, 1))})},
      {"png chunk length past the end", idatLengthPastEnd},
      {"png depth that its colour type does not allow", badDepth},
      {"png palette image without a palette", paletteFirst},
      {"png unknown critical chunk", cat({signature, ihdr, pngChunk("ZZZZ", {}), rest})},
      {"png chunk name not letters", cat({signature, ihdr, pngChunk("a1b2", {}), rest})},
      {"jpeg frame with markup but no scan", cat({{0xFF, 0xD8}, jpegSegment(0xE0, Bytes(svg.begin(), svg.end())), frame64, {0xFF, 0xD9}})},
      {"jpeg scan before its frame", cat({{0xFF, 0xD8}, scan, frame64, {0xFF, 0xD9}})},
      {"jpeg second frame", cat({{0xFF, 0xD8}, frame64, frame64, scan, {0xFF, 0xD9}})},
      {"jpeg frame of 5 components",
       cat({{0xFF, 0xD8}, jpegSegment(0xC0, {8, 0, 64, 0, 64, 5, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0, 4, 0x11, 0, 5, 0x11, 0})})},
      {"jpeg scan header length 2", cat({{0xFF, 0xD8}, frame64, {0xFF, 0xDA, 0, 2}})},
      {"jpeg too many scans", cat({manyScans, scan, Bytes{0x12}})},
      {"jpeg segment past the end", cat({Bytes(jpeg.begin(), jpeg.begin() + 2), {0xFF, 0xE1, 0xFF, 0xF0, 1, 2}})},
  };
  for (const auto& c : cases) EXPECT_FALSE(check(c.bytes)) << c.what;
}
