// Window control: title, size and render scale. Owns only the scale; the window is gfx/window's,
// the targets gfx/targets'. A size change is asked of SDL and comes back as the ordinary window
// event, so the host sees the usual window-size record and the usual resize runs.
// Callers: the extension exports, once in a while (never per frame); sceneSize per frame.
#include "gfx/windowcontrol.h"

#include <SDL.h>

#include "base/words.h"
#include "gfx/renderer.h"
#include "gfx/window.h"

namespace tsm::gfx {
namespace {
double renderScale = 1.0;
// The scaled pair handed to the target allocation when the scale is below 1.
float scaledSize[2] = {0.0f, 0.0f};

// The host writes the pair: NaN, infinities and huge values saturate rather than overflow, and a
// scaled side stays within what a window can be (the driver's rasterizer fails on vast viewports).
int32_t scaled(float side) {
  const int32_t s = saturateToInt32(static_cast<double>(side) * renderScale);
  return s < 1 ? 1 : s > MAX_WINDOW_SIDE ? MAX_WINDOW_SIDE : s;
}
}  // namespace

int32_t setTitle(const char* title) {
  SDL_Window* window = mainWindow();
  if (!window) return 1;
  SDL_SetWindowTitle(window, title);
  return 0;
}

int32_t setSize(int32_t width, int32_t height) {
  if (width < 1 || height < 1 || width > MAX_WINDOW_SIDE || height > MAX_WINDOW_SIDE) return -1;
  SDL_Window* window = mainWindow();
  if (!window) return 1;
  SDL_SetWindowSize(window, width, height);
  // A window that would reach past the display's usable area moves back to its middle.
  SDL_Rect usable;
  int x = 0, y = 0;
  SDL_GetWindowPosition(window, &x, &y);
  const int display = SDL_GetWindowDisplayIndex(window);
  if (display >= 0 && SDL_GetDisplayUsableBounds(display, &usable) == 0 &&
      (x < usable.x || y < usable.y || x + width > usable.x + usable.w || y + height > usable.y + usable.h)) {
    SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED_DISPLAY(display), SDL_WINDOWPOS_CENTERED_DISPLAY(display));
  }
  return 0;
}

int32_t setScale(double scale) {
  if (!(scale >= MIN_RENDER_SCALE && scale <= 1.0)) return -1;
  if (scale == renderScale) return 0;
  renderScale = scale;
  // Without GL (none made, or after quit) there is nothing to re-allocate; the scale waits.
  if (glReady()) reallocateScreenTextures();
  return 0;
}

void sceneSize(int32_t out[2]) {
  if (renderScale == 1.0) {
    out[0] = renderSize[0];
    out[1] = renderSize[1];
    return;
  }
  const float* size = viewportSize();
  out[0] = scaled(size[0]);
  out[1] = scaled(size[1]);
}

const float* sceneTargetSize() {
  const float* size = viewportSize();
  if (renderScale == 1.0) return size;
  scaledSize[0] = static_cast<float>(scaled(size[0]));
  scaledSize[1] = static_cast<float>(scaled(size[1]));
  return scaledSize;
}
}  // namespace tsm::gfx
