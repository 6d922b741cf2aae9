// Uniform vocabulary tables and the scalar bookkeeping shared by the quality setters and the frame
// renderer. See uniformset.h.
#include "gfx/core/uniformset.h"

#include "contract.h"

namespace tsm::gfx {
const char* const scalarUniformNames[SCALAR_UNIFORM_COUNT] = {"ssaoQuality", "shadowQuality", "antialias"};
const int32_t scalarStartValues[SCALAR_UNIFORM_COUNT] = {2, 2, 1};

const BufferUniformSource bufferUniformSources[BUFFER_UNIFORM_COUNT] = {
    {"view", contract::ENTRY_VIEW, 16},
    {"projection", contract::ENTRY_PROJECTION, 16},
    {"transform", contract::ENTRY_TRANSFORM, 16},
    {"lightTransform", contract::ENTRY_LIGHT_TRANSFORM, 16},
    {"uiTransform", contract::ENTRY_UI_TRANSFORM, 16},
    {"cameraPosition", contract::ENTRY_CAMERA_POSITION, 3},
    {"cameraVector", contract::ENTRY_CAMERA_VECTOR, 3},
    {"viewportSize", contract::ENTRY_VIEWPORT, 2},
};

const SamplerBinding samplerBindings[SAMPLER_COUNT] = {
    {"shadowMap", SHADOW_MAP_UNIT},   {"depth", GBUFFER_DEPTH_UNIT},    {"position", GBUFFER_POSITION_UNIT},
    {"albedo", GBUFFER_ALBEDO_UNIT},  {"normals", GBUFFER_NORMALS_UNIT}, {"glyphs", GLYPH_ATLAS_UNIT},
    {"sprites", SPRITE_UNIT},         {"screen", SCREEN_UNIT},
};

uint32_t markQuality(UniformSet* sets, uint32_t count, Quality which, int32_t value) {
  uint32_t marked = 0;
  for (uint32_t i = 0; i < count; ++i) {
    ScalarUniform& scalar = sets[i].scalars[which];
    if (scalar.value.i == value) continue;
    scalar.value.i = value;
    scalar.changed = 1;
    ++marked;
  }
  return marked;
}

bool takeChanged(ScalarUniform& scalar) {
  if (!scalar.changed) return false;
  scalar.changed = 0;
  return scalar.kind != SCALAR_NONE;
}
}  // namespace tsm::gfx
