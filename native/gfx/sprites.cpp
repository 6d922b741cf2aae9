// The sprite atlas. Owns the packing state and the image table; the texture record itself is the
// render targets' (targets.spriteTexture), which gets storage only here, at the first image, so a
// host that never uses images keeps the 0 x 0 texture and pays nothing. Files are read whole (regular
// files only, never blocking), their size taken from the header and their structure checked before
// the decoder sees them (gfx/core/imagefile). An image moved or replaced gives its place back: new
// places are found among the live images, so a host that swaps images for ever keeps room.
// Restores the active texture unit it changes.
// Callers: the loadImage / setImage exports (gfx/gfxapi).
//
// Sections: state | atlas | placing | host calls
#include "gfx/sprites.h"

#include <GL/glew.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "base/check.h"
#include "base/log.h"
#include "gfx/core/imagefile.h"
#include "gfx/pipelines.h"
#include "gfx/targets.h"
#include "gfx/window.h"

namespace tsm::gfx {
namespace {
constexpr const char* checkModule = "gfx";

// --- state --------------------------------------------------------------------------------------
AtlasRect places[SPRITE_IMAGE_COUNT] = {};  // gutter included; width 0: the id has no place
bool atlasMade = false;

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

// A place for `id` of w x h texels plus gutter: its old one when the image fits there, otherwise
// the first free one beside every other live image (the old place is free again once this succeeds).
int32_t place(uint32_t id, int32_t w, int32_t h, AtlasRect* out) {
  const int32_t gw = w + 2 * SPRITE_GUTTER, gh = h + 2 * SPRITE_GUTTER;
  AtlasRect& old = places[id];
  if (old.width >= gw && old.height >= gh) {
    *out = old;
    return IMAGE_OK;
  }
  AtlasRect others[SPRITE_IMAGE_COUNT];
  size_t count = 0;
  for (uint32_t i = 0; i < SPRITE_IMAGE_COUNT; ++i) {
    if (i != id && places[i].width > 0) others[count++] = places[i];
  }
  AtlasRect fresh;
  if (!placeRect(others, count, gw, gh, SPRITE_ATLAS_SIDE, &fresh)) return IMAGE_ATLAS_FULL;
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

// The whole file at `path`, or a status. Only regular files, opened without blocking: a FIFO
// would block the step waiting for a writer, a directory reads nothing.
struct FileBytes {
  std::unique_ptr<uint8_t[]> bytes;
  size_t size;
};
int32_t readImageFile(const char* path, FileBytes* file) {
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return IMAGE_UNREADABLE;
  struct stat info;
  int32_t status = IMAGE_OK;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
    status = IMAGE_UNREADABLE;
  } else if (info.st_size > MAX_IMAGE_FILE_BYTES) {
    status = IMAGE_TOO_LARGE;
  } else {
    file->size = static_cast<size_t>(info.st_size);
    file->bytes.reset(new (std::nothrow) uint8_t[file->size]);
    size_t got = 0;
    while (file->bytes && got < file->size) {
      const ssize_t n = read(fd, file->bytes.get() + got, file->size - got);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    // A file that shrank while being read is as unreadable as one that cannot be opened.
    if (!file->bytes) status = IMAGE_TOO_LARGE;
    else if (got != file->size) status = IMAGE_UNREADABLE;
  }
  close(fd);
  return status;
}
}  // namespace

// --- host calls ---------------------------------------------------------------------------------

int32_t loadImage(uint32_t id, const char* path, AtlasRect* rect) {
  CHECK(id < SPRITE_IMAGE_COUNT);
  if (!glReady() || !pipelinesBuilt()) return IMAGE_NO_GL;
  FileBytes file = {};
  if (const int32_t status = readImageFile(path, &file); status != IMAGE_OK) return status;
  int32_t w = 0, h = 0;
  const ImageKind kind = imageHeaderSize(file.bytes.get(), file.size, &w, &h);
  if (kind == IMAGE_UNKNOWN) return IMAGE_NOT_SUPPORTED;
  if (w < 1 || h < 1 || w > MAX_SPRITE_SIDE || h > MAX_SPRITE_SIDE) return IMAGE_TOO_LARGE;
  if (!checkImageStructure(file.bytes.get(), file.size, kind)) return IMAGE_NOT_SUPPORTED;
  const char* reason = nullptr;
  uint8_t* pixels = decodeImage(file.bytes.get(), file.size, w, h, &reason);
  if (!pixels) {
    logError("Error loading image %s: %s\n", path, reason ? reason : "unknown");
    return IMAGE_NOT_SUPPORTED;
  }
  const int32_t status = upload(id, pixels, w, h, w, rect);
  freeImage(pixels);
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
