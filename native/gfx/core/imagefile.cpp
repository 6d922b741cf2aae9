// Image file checks and decoding. See imagefile.h.
//
// Sections: structure | decoding
#include "gfx/core/imagefile.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The classic decompression interface of the JPEG library (C, unwrapped).
extern "C" {
#include <jpeglib.h>
}

namespace tsm::gfx {
namespace {
uint32_t be16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | p[1]; }
uint32_t be32(const uint8_t* p) { return (be16(p) << 16) | be16(p + 2); }

// --- structure ----------------------------------------------------------------------------------

bool isLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool chunkIs(const uint8_t* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

// Bit depths each PNG colour type allows, as a mask of (1 << depth).
uint32_t pngDepths(uint8_t colourType) {
  switch (colourType) {
    case 0: return 1u << 1 | 1u << 2 | 1u << 4 | 1u << 8 | 1u << 16;  // grey
    case 3: return 1u << 1 | 1u << 2 | 1u << 4 | 1u << 8;             // palette
    case 2: case 4: case 6: return 1u << 8 | 1u << 16;                // RGB, grey + alpha, RGBA
    default: return 0;
  }
}

bool checkPng(const uint8_t* b, size_t n) {
  static constexpr uint8_t SIGNATURE[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (n < 8 + 12 + 13 || std::memcmp(b, SIGNATURE, 8) != 0) return false;
  // IHDR first: width, height, bit depth, colour type, compression, filter, interlace.
  if (be32(b + 8) != 13 || !chunkIs(b + 12, "IHDR")) return false;
  const uint8_t* h = b + 16;
  const uint32_t w = be32(h), ht = be32(h + 4);
  if (w == 0 || ht == 0 || w > 0x7fffffffu || ht > 0x7fffffffu) return false;
  const uint8_t depth = h[8], colourType = h[9];
  if (depth > 16 || !(pngDepths(colourType) >> depth & 1) || h[10] != 0 || h[11] != 0 || h[12] > 1) return false;
  bool palette = false, data = false;
  for (size_t at = 8 + 12 + 13; at + 12 <= n;) {
    const uint32_t length = be32(b + at);
    const uint8_t* type = b + at + 4;
    if (length > 0x7fffffffu || length > n - at - 12) return false;
    if (!isLetter(type[0]) || !isLetter(type[1]) || !isLetter(type[2]) || !isLetter(type[3])) return false;
    if (chunkIs(type, "IEND")) return data;
    if (chunkIs(type, "IDAT")) {
      if (colourType == 3 && !palette) return false;
      data = true;
    } else if (chunkIs(type, "PLTE")) {
      if (palette || data || length == 0 || length % 3 != 0 || length > 3 * 256) return false;
      palette = true;
    } else if (type[0] <= 'Z') {
      return false;  // IHDR again, or a critical chunk no decoder here knows
    }
    at += 12 + length;
  }
  return false;  // no IEND: the file was cut short
}

bool isFrameMarker(uint8_t m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }
bool isRestartMarker(uint8_t m) { return m >= 0xD0 && m <= 0xD7; }

bool checkJpeg(const uint8_t* b, size_t n) {
  if (n < 4 || b[0] != 0xFF || b[1] != 0xD8) return false;
  bool frame = false;
  uint32_t scans = 0;
  size_t at = 2;
  while (at + 2 <= n) {
    if (b[at] != 0xFF) return false;
    const uint8_t marker = b[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0x01 || isRestartMarker(marker)) {  // markers without a length
      at += 2;
      continue;
    }
    if (marker == 0xD8) return false;            // a second start of image
    if (marker == 0xD9) return scans > 0;        // end of image
    if (at + 4 > n) return false;
    const size_t length = be16(b + at + 2);
    if (length < 2 || length > n - at - 2) return false;
    const uint8_t* s = b + at + 4;  // the segment's body
    if (isFrameMarker(marker)) {
      if (frame || length < 8) return false;
      const uint8_t components = s[5];
      if (components < 1 || components > 4 || length != 8 + 3u * components) return false;
      if (be16(s + 1) == 0 || be16(s + 3) == 0) return false;
      frame = true;
    }
    at += 2 + length;
    if (marker != 0xDA) continue;
    // A scan: its header, then entropy-coded data up to the next marker that is not a stuffed zero
    // or a restart. Data cut short at the end of the file still decodes to what it holds.
    if (length < 3) return false;
    const uint8_t count = s[0];
    if (!frame || count < 1 || count > 4 || length != 6 + 2u * count || ++scans > MAX_JPEG_SCANS) return false;
    while (at + 1 < n && !(b[at] == 0xFF && b[at + 1] != 0x00 && !isRestartMarker(b[at + 1]) && b[at + 1] != 0xFF)) ++at;
    if (at + 1 >= n) return true;
  }
  return frame && scans > 0;
}
}  // namespace

bool checkImageStructure(const uint8_t* bytes, size_t n, ImageKind kind) {
  if (kind == IMAGE_PNG) return checkPng(bytes, n);
  if (kind == IMAGE_JPEG) return checkJpeg(bytes, n);
  return false;
}

// --- decoding -----------------------------------------------------------------------------------
namespace {
// The JPEG library's working memory beyond the pixels (a progressive file keeps every coefficient:
// 2 bytes a sample); past it the library stops with an error instead of growing.
constexpr long JPEG_WORKING_BYTES = 48l << 20;

// The reason last reported by a decoder (a refusal is rare; one buffer serves the host's thread).
char reasonText[JMSG_LENGTH_MAX];

// Keeps a PNG refusal's message, which lives in the decoder's record, past that record.
const char* pngReason(const png_image& image) {
  std::snprintf(reasonText, sizeof reasonText, "%s", image.message);
  return reasonText;
}

uint8_t* decodePng(const uint8_t* bytes, size_t n, int32_t width, int32_t height, const char** reason) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  // Reads from memory: a chunk running past the end is an error, never a wait or a loop. CRC errors
  // in critical chunks are errors; ancillary chunks with bad CRCs are dropped.
  if (!png_image_begin_read_from_memory(&image, bytes, n)) {
    *reason = pngReason(image);
    return nullptr;
  }
  if (image.width != static_cast<png_uint_32>(width) || image.height != static_cast<png_uint_32>(height)) {
    png_image_free(&image);
    *reason = "decoded size is not the header's";
    return nullptr;
  }
  image.format = PNG_FORMAT_RGBA;
  auto* pixels = static_cast<uint8_t*>(std::malloc(PNG_IMAGE_SIZE(image)));
  if (!pixels) {
    png_image_free(&image);
    *reason = "out of memory";
    return nullptr;
  }
  if (!png_image_finish_read(&image, nullptr, pixels, 0, nullptr)) {
    *reason = pngReason(image);
    std::free(pixels);
    return nullptr;
  }
  return pixels;
}

struct JpegErrors {
  jpeg_error_mgr library;  // first: the library sees only this part
  std::jmp_buf failed;
};

[[noreturn]] void jpegFail(j_common_ptr info) {
  (*info->err->format_message)(info, reasonText);
  std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->failed, 1);
}
// Warnings (a scan cut short, for one) stay quiet: what decodes is shown.
void jpegQuiet(j_common_ptr, int) {}

// Only plain data lives across the jump: the library's records and one pixel pointer.
uint8_t* decodeJpeg(const uint8_t* bytes, size_t n, int32_t width, int32_t height, const char** reason) {
  jpeg_decompress_struct info;
  JpegErrors errors;
  info.err = jpeg_std_error(&errors.library);
  errors.library.error_exit = jpegFail;
  errors.library.emit_message = jpegQuiet;
  uint8_t* volatile pixels = nullptr;
  if (setjmp(errors.failed)) {
    jpeg_destroy_decompress(&info);
    std::free(pixels);
    *reason = reasonText;
    return nullptr;
  }
  jpeg_create_decompress(&info);
  info.mem->max_memory_to_use = JPEG_WORKING_BYTES;
  jpeg_mem_src(&info, bytes, static_cast<unsigned long>(n));
  jpeg_read_header(&info, TRUE);
  if (info.image_width != static_cast<JDIMENSION>(width) || info.image_height != static_cast<JDIMENSION>(height)) {
    std::snprintf(reasonText, sizeof reasonText, "decoded size is not the header's");
    jpegFail(reinterpret_cast<j_common_ptr>(&info));
  }
  info.out_color_space = JCS_EXT_RGBA;
  jpeg_start_decompress(&info);
  const size_t rowBytes = static_cast<size_t>(width) * 4;
  pixels = static_cast<uint8_t*>(std::malloc(rowBytes * static_cast<size_t>(height)));
  if (!pixels) {
    std::snprintf(reasonText, sizeof reasonText, "out of memory");
    jpegFail(reinterpret_cast<j_common_ptr>(&info));
  }
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = pixels + rowBytes * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return pixels;
}
}  // namespace

uint8_t* decodeImage(const uint8_t* bytes, size_t n, int32_t width, int32_t height, const char** reason) {
  const char* unused = nullptr;
  if (!reason) reason = &unused;
  *reason = nullptr;
  if (width < 1 || height < 1 || width > MAX_SPRITE_SIDE || height > MAX_SPRITE_SIDE || n < 4) {
    *reason = "size out of range";
    return nullptr;
  }
  // Each decoder only for its own signature.
  if (bytes[0] == 0x89) return decodePng(bytes, n, width, height, reason);
  if (bytes[0] == 0xFF && bytes[1] == 0xD8) return decodeJpeg(bytes, n, width, height, reason);
  *reason = "neither PNG nor JPEG";
  return nullptr;
}

void freeImage(uint8_t* pixels) { std::free(pixels); }
}  // namespace tsm::gfx
