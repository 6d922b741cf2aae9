// Graphics initialisation and frame rendering.
#pragma once

namespace tsm::gfx {
// Builds the sampling data, glyph atlas, render targets and pipelines (run by `ready`).
void initGFX();
// Uploads the frame's data, draws every pass and swaps (run by `render`).
void renderFrame();

// Resize hooks, run by `resize` in this order after the drawable size changed:
// sends the viewportSize pair to every pipeline whose program has that uniform;
void resendViewportSize();
// re-allocates the storage of the screen-sized textures at the new size.
void reallocateScreenTextures();
}  // namespace tsm::gfx
