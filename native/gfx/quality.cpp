// Quality settings: a new shadow, ambient-occlusion or anti-aliasing level stored in every uniform
// set and marked changed; the frame renderer sends it to the programs that declare the uniform with
// the next frame. No target, texture or sampling data changes.
// Callers: the three quality setters (gfx/gfxapi), between frames (a call before `ready` is
// overwritten when the sets are bound).
#include "gfx/quality.h"

#include "gfx/pipelines.h"

namespace tsm::gfx {
void setQuality(Quality which, int32_t level) { markQuality(allUniformSets, PIPELINE_COUNT, which, level); }
}  // namespace tsm::gfx
