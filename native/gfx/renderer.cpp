// Placeholder renderer: nothing to build, nothing to draw, no uniform sets or textures to resize.
#include "gfx/renderer.h"

namespace tsm::gfx {
void initGFX() {}
void renderFrame() {}
void resendViewportSize() {}
void reallocateScreenTextures() {}
}  // namespace tsm::gfx
