// Graphics initialisation and frame rendering.
#pragma once

namespace tsm::gfx {
// Builds the sampling data, glyph atlas, render targets and pipelines (run by `ready`).
void initGFX();
// Uploads the frame's data, draws every pass and swaps (run by `render`).
void renderFrame();
}  // namespace tsm::gfx
