// Quality settings of the renderer, changed by the host between frames.
#pragma once
#include <cstdint>

#include "gfx/core/uniformset.h"

namespace tsm::gfx {
// Stores `level` as the shadow, ambient-occlusion or anti-aliasing level (`which`) of every
// uniform set and marks it changed; the next frame sends it to the programs that declare it.
void setQuality(Quality which, int32_t level);
}  // namespace tsm::gfx
