// FreeType and the three faces: opened once at module start-up (after audio, before SDL), closed
// once at shutdown (after SDL), and asked by the glyph cache for glyph indices and rasterised
// glyphs. Does not cache anything itself.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bridge/assetpaths.h"
#include "base/check.h"
#include "base/log.h"
#include "text/glyphs.h"
#include "text/text.h"

namespace tsm::text {
namespace {
constexpr const char* checkModule = "fonts";

struct FaceFile {
  const char* path;
  const char* closeError;  // the line logged when closing the face fails
};
// In face order (Face): mono, sans, fallback; opened in this order. Paths are relative to the
// package root: the working directory is tried first, then the addon's own package.
constexpr FaceFile faceFiles[FACE_COUNT] = {
    {"app/assets/fonts/IBMPlexMono-Regular.ttf", "Error freeing mono font: %i\n"},
    {"app/assets/fonts/NotoSans-Regular.ttf", "Error freeing sans font: %i\n"},
    {"app/assets/fonts/unifont.ttf", "Error freeing fallback font: %i\n"},
};

FT_Library library = nullptr;
// Null for a face that did not open, and after closeFonts.
FT_Face faces[FACE_COUNT] = {};

// The line after a face that did not open: every place it was looked for, in order.
void logTriedPaths(const bridge::AssetCandidates& tried) {
  char line[bridge::ASSET_PLACE_COUNT * (bridge::ASSET_PATH_CAPACITY + 2)] = "";
  size_t used = 0;
  for (uint32_t i = 0; i < tried.count; ++i) {
    const int n = std::snprintf(line + used, sizeof line - used, "%s%s", i ? ", " : "", tried.paths[i]);
    if (n < 0 || static_cast<size_t>(n) >= sizeof line - used) break;
    used += static_cast<size_t>(n);
  }
  logError("Paths tried: %s\n", line);
}
}  // namespace

void openFonts() {
  const FT_Error e = FT_Init_FreeType(&library);
  if (e) {
    library = nullptr;
    logError("Unable to initialize FreeType: %i\n", e);
    return;
  }
  for (uint32_t f = 0; f < FACE_COUNT; ++f) {
    FT_Face face = nullptr;
    bridge::AssetCandidates tried;
    const char* path = bridge::findAsset(faceFiles[f].path, &tried);
    FT_Error error = FT_New_Face(library, path, 0, &face);
    if (!error) {
      error = FT_Set_Pixel_Sizes(face, 0, facePixelSize[f]);
      if (error) FT_Done_Face(face);
    }
    if (error) {
      logError("Unable to open %s: %i\n", path, error);
      logTriedPaths(tried);
      return;
    }
    faces[f] = face;
  }
  logInfo("FreeType initialized OK\n");
}

void closeFonts() {
  // Only what opened is closed; each call is made whatever the ones before it answered.
  for (uint32_t f = 0; f < FACE_COUNT; ++f) {
    if (!faces[f]) continue;
    const FT_Error e = FT_Done_Face(faces[f]);
    if (e) logError(faceFiles[f].closeError, e);
    faces[f] = nullptr;
  }
  if (library) {
    const FT_Error e = FT_Done_FreeType(library);
    if (e) logError("Error freeing FreeType: %i\n", e);
    library = nullptr;
  }
}

bool faceOpen(Face face) { return faces[face] != nullptr; }

uint32_t faceGlyphIndex(Face face, uint32_t codePoint) { return FT_Get_Char_Index(faces[face], codePoint); }

void rasterizeGlyph(Face face, uint32_t glyphIndex, Glyph* g) {
  FT_Face ft = faces[face];
  g->x0 = g->y0 = g->x1 = g->y1 = 0;
  g->left = g->top = g->advanceX = g->advanceY = 0;
  g->bitmap = nullptr;
  g->bitmapWidth = g->bitmapRows = 0;
  if (FT_Load_Glyph(ft, glyphIndex, FT_LOAD_DEFAULT) || FT_Render_Glyph(ft->glyph, FT_RENDER_MODE_NORMAL)) return;
  const FT_GlyphSlot slot = ft->glyph;
  const FT_Bitmap& bm = slot->bitmap;
  const int32_t width = static_cast<int32_t>(bm.width);
  const int32_t rows = static_cast<int32_t>(bm.rows);
  // Anything but 8-bit coverage is a failed render too.
  if (width > 0 && rows > 0 && (bm.pixel_mode != FT_PIXEL_MODE_GRAY || !bm.buffer)) return;
  g->x1 = width;
  g->y1 = rows;
  g->left = slot->bitmap_left;
  g->top = slot->bitmap_top;
  g->advanceX = static_cast<int32_t>(slot->advance.x);
  g->advanceY = static_cast<int32_t>(slot->advance.y);
  g->bitmapWidth = width;
  g->bitmapRows = rows;
  if (width == 0 || rows == 0) return;
  g->bitmap = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(width) * rows));
  CHECK(g->bitmap && "No memory for glyph bitmap");
  // Rows back to back, top first, whatever the pitch FreeType keeps them at.
  const uint8_t* src = bm.buffer;
  const int pitch = bm.pitch;
  for (int32_t r = 0; r < rows; ++r) {
    const uint8_t* row = pitch >= 0 ? src + static_cast<ptrdiff_t>(r) * pitch
                                    : src + static_cast<ptrdiff_t>(rows - 1 - r) * -pitch;
    std::memcpy(g->bitmap + static_cast<size_t>(r) * width, row, static_cast<size_t>(width));
  }
}
}  // namespace tsm::text
