// Placeholder window: there is none, so fullscreen cannot be toggled.
#include "gfx/window.h"

namespace tsm::gfx {
int32_t toggleFullscreen() { return -1; }
}  // namespace tsm::gfx
