// GL side of the uniform sets: binding a set to its program once, the per-frame sends, and the
// viewportSize re-send after a resize. The records and vocabulary are in gfx/core/uniformset.h.
// Callers: the pipeline builders (bindUniforms), the frame renderer (uploadFrameUniforms), the
// resize hook (sendViewportSize).
#pragma once
#include <cstdint>

#include "gfx/core/uniformset.h"

namespace tsm::gfx {
// Fills `set` for `program`, which must be current, and sends every initial value: the quality
// start values, the buffer uniforms from the bufferIDs table, the three sampling arrays and the
// eight samplers. A uniform the program lacks, or whose block is missing or too short, is skipped
// now and later.
void bindUniforms(UniformSet& set, uint32_t program);

// Makes the set's program current and sends view, projection, transform, uiTransform,
// cameraPosition, cameraVector, then the changed quality values (clearing their flags).
void uploadFrameUniforms(UniformSet& set);

// Makes the set's program current and sends the viewportSize pair when the program has it.
void sendViewportSize(UniformSet& set);
}  // namespace tsm::gfx
