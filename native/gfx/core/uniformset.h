// Uniform sets: the fixed uniform vocabulary every program is offered, and the per-pipeline record
// of where each updatable uniform lives and what feeds it. Pure records and bookkeeping; the GL
// sends live in gfx/uniforms.cpp. Used by the pipeline builders (bind), the frame renderer (per-frame
// sends), resize (viewportSize) and the quality setters (values and changed flags).
#pragma once
#include <cstdint>

namespace tsm::gfx {
// --- scalar uniforms ----------------------------------------------------------------------------
// Kinds of a scalar uniform; the kind picks glUniform1f, glUniform1i or glUniform1ui.
enum ScalarKind : uint32_t { SCALAR_NONE = 0, SCALAR_FLOAT = 1, SCALAR_INT = 2, SCALAR_UINT = 3 };

// The three quality settings, in their order within a set.
enum Quality : uint32_t { SSAO_QUALITY = 0, SHADOW_QUALITY = 1, ANTIALIAS = 2 };
// Scalar uniforms per set.
constexpr uint32_t SCALAR_UNIFORM_COUNT = 3;
extern const char* const scalarUniformNames[SCALAR_UNIFORM_COUNT];
// Values the programs hold until a quality setter changes them: ssao 2, shadow 2, antialias 1.
extern const int32_t scalarStartValues[SCALAR_UNIFORM_COUNT];

union ScalarValue {
  float f;
  int32_t i;
  uint32_t u;
};

struct ScalarUniform {
  int32_t location;   // -1 when the program lacks the uniform
  uint32_t program;   // set only when present
  uint32_t kind;      // ScalarKind
  ScalarValue value;  // stored even when the uniform is absent
  uint8_t changed;    // set by the quality setters, cleared when the renderer sends the value
  const char* name;   // set only when present
};

// --- buffer uniforms ----------------------------------------------------------------------------
// The float uniforms fed from shared blocks, in their order within a set.
enum BufferUniformIndex : uint32_t {
  VIEW_UNIFORM = 0,
  PROJECTION_UNIFORM,
  TRANSFORM_UNIFORM,
  LIGHT_TRANSFORM_UNIFORM,
  UI_TRANSFORM_UNIFORM,
  CAMERA_POSITION_UNIFORM,
  CAMERA_VECTOR_UNIFORM,
  VIEWPORT_SIZE_UNIFORM,
};
// Buffer uniforms per set.
constexpr uint32_t BUFFER_UNIFORM_COUNT = 8;

// What feeds one buffer uniform: its name, the bufferIDs entry naming its block, floats per element.
struct BufferUniformSource {
  const char* name;
  uint32_t tableEntry;
  uint32_t components;  // 16 (4x4 matrix, column-major), 3 or 2
};
extern const BufferUniformSource bufferUniformSources[BUFFER_UNIFORM_COUNT];

struct BufferUniform {
  int32_t location;     // -1 when absent (or its block cannot feed it); then nothing else is written
  uint32_t program;
  uint32_t components;
  uint64_t count;       // array elements, always 1
  uint64_t byteSize;    // 64, 12 or 8
  uint32_t bufferId;    // shared block named by the bufferIDs table
  uint8_t* data;        // that block's memory when the set was bound
  const char* name;
};

// --- constant arrays and samplers ---------------------------------------------------------------
// Texture units fixed for the whole run; each sampler uniform of the vocabulary points at one.
enum TextureUnit : uint32_t {
  SHADOW_MAP_UNIT = 1,
  GBUFFER_DEPTH_UNIT = 2,
  GBUFFER_POSITION_UNIT = 3,
  GBUFFER_ALBEDO_UNIT = 4,
  GBUFFER_NORMALS_UNIT = 5,
  SCENE_DEPTH_UNIT = 6,
  SCREEN_UNIT = 7,
  GLYPH_ATLAS_UNIT = 10,
  SPRITE_UNIT = 11,
};
struct SamplerBinding {
  const char* name;
  uint32_t unit;
};
// Sampler uniforms of the vocabulary, in the order they are sent.
constexpr uint32_t SAMPLER_COUNT = 8;
extern const SamplerBinding samplerBindings[SAMPLER_COUNT];

// --- the set ------------------------------------------------------------------------------------
struct UniformSet {
  uint32_t program;
  ScalarUniform scalars[SCALAR_UNIFORM_COUNT];  // ssaoQuality, shadowQuality, antialias
  BufferUniform buffers[BUFFER_UNIFORM_COUNT];  // view ... viewportSize
};

// Stores `value` as quality `which` in each of `count` sets whose stored value differs, marking it
// changed; an equal value leaves the flag as it was. Absent uniforms are stored and marked too
// (they are never sent). Returns the number of sets marked.
uint32_t markQuality(UniformSet* sets, uint32_t count, Quality which, int32_t value);

// Clears the changed flag; true when it was set and the uniform is present, so the value is due.
bool takeChanged(ScalarUniform& scalar);

// Whether a block of `blockBytes` bytes can feed a uniform needing `byteSize` bytes.
constexpr bool blockFeeds(const uint8_t* data, uint64_t blockBytes, uint64_t byteSize) {
  return data != nullptr && blockBytes >= byteSize;
}
}  // namespace tsm::gfx
