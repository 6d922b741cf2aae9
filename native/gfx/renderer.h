// Graphics initialisation and frame rendering: the entry points `ready`, `render` and `resize` use.
// The pieces live in gfx/uniforms, gfx/targets, gfx/pipelines and gfx/frame.
#pragma once
#include <cstdint>

namespace tsm::gfx {
// Builds the sampling data, glyph atlas, render targets and pipelines (run by `ready`, once).
// 0 when everything was built; 1 when a screen target was incomplete (the rest is skipped) or no
// GL context exists.
int32_t initGFX();
// Uploads the frame's data, draws every pass and swaps (run by `render`). Does nothing before the
// pipelines exist.
void renderFrame();

// Resize hooks, run by `resize` in this order after the drawable size changed:
// sends the viewportSize pair to every pipeline whose program has that uniform;
void resendViewportSize();
// re-allocates the storage of the screen-sized textures at the new size.
void reallocateScreenTextures();
}  // namespace tsm::gfx
