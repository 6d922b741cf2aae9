// Placeholder renderer: nothing to build, nothing to draw, no uniform sets or textures to resize.
#include "gfx/renderer.h"

#include "text/text.h"

namespace tsm::gfx {
void initGFX() { text::initGlyphSet(); }
void renderFrame() {}
void resendViewportSize() {}
void reallocateScreenTextures() {}
}  // namespace tsm::gfx
