// Placeholder renderer: nothing to build, nothing to draw.
#include "gfx/renderer.h"

namespace tsm::gfx {
void initGFX() {}
void renderFrame() {}
}  // namespace tsm::gfx
