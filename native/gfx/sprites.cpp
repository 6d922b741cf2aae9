// The sprite atlas. Owns the packing state and the image table; the texture record itself is the
// render targets' (targets.spriteTexture), which gets storage only here, at the first image, so a
// host that never uses images keeps the 0 x 0 texture and pays nothing. Image sizes are read from
// the file's header before decoding, so a file cannot make the decoder allocate more than one
// atlas-sized image. Restores the active texture unit it changes.
// Callers: the loadImage / setImage exports (bridge/extensions).
//
// Sections: state | atlas | placing | host calls
#include "gfx/sprites.h"

#include <GL/glew.h>
#include <SDL.h>
#include <SDL_image.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "bridge/core/check.h"
#include "bridge/core/log.h"
#include "gfx/pipelines.h"
#include "gfx/targets.h"
#include "gfx/window.h"

namespace tsm::gfx {
namespace {
constexpr const char* checkModule = "gfx";

// Bytes read from the start of a file to find its size: room for the metadata a JPEG may carry
// before its frame header.
constexpr size_t IMAGE_HEADER_BYTES = 256 * 1024;

// --- state --------------------------------------------------------------------------------------
ShelfPacker packer = {};
AtlasRect places[SPRITE_IMAGE_COUNT] = {};  // gutter included; width 0: the id has no place
bool atlasMade = false;
uint8_t header[IMAGE_HEADER_BYTES];

// --- atlas --------------------------------------------------------------------------------------

// Binds the atlas on its unit, making its storage the first time (cleared to transparent).
// Returns the unit that was active, for restoreUnit.
GLint bindAtlas() {
  GLint previous = GL_TEXTURE0;
  glGetIntegerv(GL_ACTIVE_TEXTURE, &previous);
  Texture& t = targets.spriteTexture;
  glActiveTexture(t.unit);
  glBindTexture(t.target, t.id);
  if (!atlasMade) {
    const size_t bytes = static_cast<size_t>(SPRITE_ATLAS_SIDE) * SPRITE_ATLAS_SIDE * 4;
    void* clear = std::calloc(bytes, 1);
    CHECK(clear && "Out of memory");
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(t.target, 0, GL_RGBA8, SPRITE_ATLAS_SIDE, SPRITE_ATLAS_SIDE, 0, GL_RGBA, GL_UNSIGNED_BYTE, clear);
    std::free(clear);
    t.width = SPRITE_ATLAS_SIDE;
    t.height = SPRITE_ATLAS_SIDE;
    atlasMade = true;
  }
  return previous;
}

void restoreUnit(GLint unit) { glActiveTexture(static_cast<GLenum>(unit)); }

// --- placing ------------------------------------------------------------------------------------

// A place for `id` of w x h texels plus gutter: its old one when the image fits there.
int32_t place(uint32_t id, int32_t w, int32_t h, AtlasRect* out) {
  const int32_t gw = w + 2 * SPRITE_GUTTER, gh = h + 2 * SPRITE_GUTTER;
  AtlasRect& old = places[id];
  if (old.width >= gw && old.height >= gh) {
    *out = old;
    return IMAGE_OK;
  }
  AtlasRect fresh;
  if (!packShelf(packer, gw, gh, SPRITE_ATLAS_SIDE, &fresh)) return IMAGE_ATLAS_FULL;
  old = fresh;
  *out = fresh;
  return IMAGE_OK;
}

// Uploads w x h RGBA rows (`rowPixels` pixels apart) into `id`'s place; the gutter and any rest of
// an old, larger place are cleared first.
int32_t upload(uint32_t id, const void* pixels, int32_t w, int32_t h, int32_t rowPixels, AtlasRect* rect) {
  if (!glReady() || !pipelinesBuilt()) return IMAGE_NO_GL;
  if (w < 1 || h < 1 || w > MAX_SPRITE_SIDE || h > MAX_SPRITE_SIDE) return IMAGE_TOO_LARGE;
  AtlasRect at;
  if (const int32_t status = place(id, w, h, &at); status != IMAGE_OK) return status;
  const GLint unit = bindAtlas();
  const GLenum target = targets.spriteTexture.target;
  // Clear the whole place, row by row from one zeroed row (a place is at most the atlas wide).
  static const uint8_t zeros[SPRITE_ATLAS_SIDE * 4] = {};
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  for (int32_t row = 0; row < at.height; ++row) {
    glTexSubImage2D(target, 0, at.x, at.y + row, at.width, 1, GL_RGBA, GL_UNSIGNED_BYTE, zeros);
  }
  glPixelStorei(GL_UNPACK_ROW_LENGTH, rowPixels);
  glTexSubImage2D(target, 0, at.x + SPRITE_GUTTER, at.y + SPRITE_GUTTER, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  restoreUnit(unit);
  *rect = AtlasRect{at.x + SPRITE_GUTTER, at.y + SPRITE_GUTTER, w, h};
  return IMAGE_OK;
}

// Reads the file's first bytes and size; the header's kind, or a status through `status`.
ImageKind readHeader(const char* path, int32_t* w, int32_t* h, int32_t* status) {
  // Only regular files: a FIFO would block the step waiting for a writer, a directory reads nothing.
  struct stat info;
  if (stat(path, &info) != 0 || !S_ISREG(info.st_mode)) {
    *status = IMAGE_UNREADABLE;
    return IMAGE_UNKNOWN;
  }
  FILE* f = std::fopen(path, "rb");
  if (!f) {
    *status = IMAGE_UNREADABLE;
    return IMAGE_UNKNOWN;
  }
  long size = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
  std::rewind(f);
  const size_t n = std::fread(header, 1, sizeof header, f);
  std::fclose(f);
  if (size < 0 || n == 0) {
    *status = IMAGE_UNREADABLE;
    return IMAGE_UNKNOWN;
  }
  if (size > MAX_IMAGE_FILE_BYTES) {
    *status = IMAGE_TOO_LARGE;
    return IMAGE_UNKNOWN;
  }
  const ImageKind kind = imageHeaderSize(header, n, w, h);
  *status = kind == IMAGE_UNKNOWN ? IMAGE_NOT_SUPPORTED : IMAGE_OK;
  return kind;
}
}  // namespace

// --- host calls ---------------------------------------------------------------------------------

int32_t loadImage(uint32_t id, const char* path, AtlasRect* rect) {
  CHECK(id < SPRITE_IMAGE_COUNT);
  if (!glReady() || !pipelinesBuilt()) return IMAGE_NO_GL;
  int32_t w = 0, h = 0, status = IMAGE_OK;
  if (readHeader(path, &w, &h, &status) == IMAGE_UNKNOWN) return status;
  if (w < 1 || h < 1 || w > MAX_SPRITE_SIDE || h > MAX_SPRITE_SIDE) return IMAGE_TOO_LARGE;
  SDL_Surface* loaded = IMG_Load(path);
  if (!loaded) {
    logError("Error loading image %s: %s\n", path, SDL_GetError());
    return IMAGE_NOT_SUPPORTED;
  }
  SDL_Surface* rgba = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ABGR8888, 0);
  SDL_FreeSurface(loaded);
  if (!rgba) {
    logError("Error converting image %s: %s\n", path, SDL_GetError());
    return IMAGE_NOT_SUPPORTED;
  }
  // The decoded size must be the one the header announced (and checked).
  if (rgba->w == w && rgba->h == h && SDL_LockSurface(rgba) == 0) {
    status = upload(id, rgba->pixels, w, h, rgba->pitch / 4, rect);
    SDL_UnlockSurface(rgba);
  } else {
    status = IMAGE_NOT_SUPPORTED;
  }
  SDL_FreeSurface(rgba);
  return status;
}

int32_t setImage(uint32_t id, const uint8_t* rgba, size_t bytes, int32_t width, int32_t height, AtlasRect* rect) {
  CHECK(id < SPRITE_IMAGE_COUNT);
  if (!glReady() || !pipelinesBuilt()) return IMAGE_NO_GL;
  if (width < 1 || height < 1 || width > MAX_SPRITE_SIDE || height > MAX_SPRITE_SIDE) return IMAGE_TOO_LARGE;
  if (bytes != static_cast<size_t>(width) * static_cast<size_t>(height) * 4) return IMAGE_BAD_PIXELS;
  return upload(id, rgba, width, height, width, rect);
}
}  // namespace tsm::gfx
