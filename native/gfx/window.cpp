// Placeholder window: there is none, so fullscreen cannot be toggled.
#include "gfx/window.h"

namespace tsm::gfx {
bool initSDL() { return false; }
void initWindow() {}
void startGL() {}
void closeSDL() {}
int32_t toggleFullscreen() { return -1; }
void resize() {}
}  // namespace tsm::gfx
