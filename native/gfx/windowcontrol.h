// Window control for hosts that ask for it: the title, the window's size (which is the render size:
// the size change reaches the event pump and the ordinary resize), and the render scale, the
// fraction of the window the 3D scene is drawn at before the final blit scales it up. A host that
// never calls these keeps the start-up title, size and a scale of 1.
// Callers: the extension exports (gfx/gfxapi), the render targets and the frame renderer.
#pragma once
#include <cstddef>
#include <cstdint>

#include "contract.h"

namespace tsm::gfx {
// Longest window title in bytes (UTF-8, without the terminator).
constexpr size_t MAX_TITLE_BYTES = contract::MAX_TITLE_BYTES;
// Largest window side in pixels a host may ask for: every screen-sized target is made at the window's
// size, and at 8192 x 8192 they already take about 2 GiB.
constexpr int32_t MAX_WINDOW_SIDE = contract::MAX_WINDOW_SIDE;
// Smallest render scale; the scene is never drawn at less than this fraction of the window.
constexpr double MIN_RENDER_SCALE = contract::MIN_RENDER_SCALE;

// Sets the window title. 0 done, 1 no window (never made, or after quit).
int32_t setTitle(const char* title);
// Asks for a client area of width x height pixels, moving the window back to the middle of the
// display when it would reach past its usable area. 0 asked, 1 no window, -1 a side outside
// 1..MAX_WINDOW_SIDE. The size arrives as a window-size event at a later poll.
int32_t setSize(int32_t width, int32_t height);
// Sets the render scale and re-allocates the screen-sized targets at the new scene size.
// 0 done, -1 a scale outside MIN_RENDER_SCALE..1 (or not a number).
int32_t setScale(double scale);

// The scene's size in pixels: the drawable size times the render scale, at least 1 x 1. With a scale
// of 1 this is the drawable size itself.
void sceneSize(int32_t out[2]);
// The same pair as floats, for allocating the screen-sized textures: viewportSize() at a scale of 1.
const float* sceneTargetSize();
}  // namespace tsm::gfx
