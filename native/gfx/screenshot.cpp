// Screenshots. See screenshot.h. The pixels are read with glReadPixels (rows bottom first) and the
// PNG written by the image writer with the rows turned over and a fast compression level: a frame
// of 800 x 600 takes a few tens of milliseconds, once.
#include "gfx/screenshot.h"

#include <GL/glew.h>

#include <cstdlib>
#include <cstring>

#include "gfx/window.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb_image_write.h>
#pragma GCC diagnostic pop

namespace tsm::gfx {
namespace {
struct Screenshot {
  char path[MAX_SCREENSHOT_PATH + 1];
  bool pending;
  int32_t status;
};
Screenshot shot = {{}, false, SCREENSHOT_NOT_WRITTEN};
}  // namespace

int32_t requestScreenshot(const char* path) {
  const size_t length = std::strlen(path);
  if (length == 0 || length > MAX_SCREENSHOT_PATH) return SCREENSHOT_BAD_PATH;
  if (!glReady() || !mainWindow()) return SCREENSHOT_NO_GL;
  std::memcpy(shot.path, path, length + 1);
  shot.pending = true;
  shot.status = SCREENSHOT_PENDING;
  return SCREENSHOT_PENDING;
}

int32_t screenshotStatus() { return shot.status; }

void takeScreenshot(int32_t width, int32_t height) {
  if (!shot.pending) return;
  shot.pending = false;
  shot.status = SCREENSHOT_NOT_WRITTEN;
  if (width < 1 || height < 1) return;
  const size_t row = static_cast<size_t>(width) * 4;
  auto* pixels = static_cast<uint8_t*>(std::malloc(row * static_cast<size_t>(height)));
  if (!pixels) return;
  GLint previous = 0;
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previous);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(previous));
  // Opaque: what the window shows.
  for (size_t i = 3; i < row * static_cast<size_t>(height); i += 4) pixels[i] = 255;
  stbi_write_png_compression_level = 2;
  stbi_flip_vertically_on_write(1);
  if (stbi_write_png(shot.path, width, height, 4, pixels, static_cast<int>(row))) shot.status = SCREENSHOT_WRITTEN;
  std::free(pixels);
}
}  // namespace tsm::gfx
