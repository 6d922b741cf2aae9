// The window and its GL context: start-up, fullscreen switching and tracking of the drawable size.
#pragma once
#include <cstdint>

namespace tsm::gfx {
// Command 8: switches between windowed and fullscreen; SDL's result (0 success, negative failure).
int32_t toggleFullscreen();
}  // namespace tsm::gfx
