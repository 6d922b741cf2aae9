// Uniform sends. Owns no state: every set lives in its pipeline record (gfx/pipelines.cpp). Buffer
// uniforms are read through their block id at each send, never through the pointer recorded at bind
// time, so a block the host has released or replaced since is skipped, not read. The viewportSize
// uniform reads the pair of the window (which lives in the block bufferIDs entry 0 names once
// setBuffers has moved it there), so it is always current and never dangling.
// Callers: pipeline builders during initGFX, render once per frame, resize.
#include "gfx/uniforms.h"

#include <GL/glew.h>

#include "bridge/buffers.h"
#include "gfx/bufferids.h"
#include "gfx/core/kernels.h"
#include "gfx/window.h"

namespace tsm::gfx {
namespace {
void sendScalar(const ScalarUniform& scalar) {
  switch (scalar.kind) {
    case SCALAR_FLOAT: glUniform1f(scalar.location, scalar.value.f); break;
    case SCALAR_INT: glUniform1i(scalar.location, scalar.value.i); break;
    case SCALAR_UINT: glUniform1ui(scalar.location, scalar.value.u); break;
    default: break;
  }
}

// The memory that currently feeds `uniform`, or null when its block is gone or too short.
const float* bufferSource(const BufferUniform& uniform, uint32_t index) {
  if (index == VIEWPORT_SIZE_UNIFORM) return viewportSize();
  const uint8_t* data = bridge::blockData(uniform.bufferId);
  if (!blockFeeds(data, bridge::blockBytes(uniform.bufferId), uniform.byteSize)) return nullptr;
  return reinterpret_cast<const float*>(data);
}

void sendBuffer(const BufferUniform& uniform, uint32_t index) {
  if (uniform.location == -1) return;
  const float* values = bufferSource(uniform, index);
  if (!values) return;
  const GLsizei count = static_cast<GLsizei>(uniform.count);
  switch (uniform.components) {
    case 16: glUniformMatrix4fv(uniform.location, count, GL_FALSE, values); break;
    case 3: glUniform3fv(uniform.location, count, values); break;
    case 2: glUniform2fv(uniform.location, count, values); break;
    default: break;
  }
}

// The block feeding buffer uniform `index` can hold it (the viewportSize pair always can).
bool sourceUsable(uint32_t index, uint32_t id, uint64_t byteSize) {
  if (index == VIEWPORT_SIZE_UNIFORM) return true;
  return blockFeeds(bridge::blockData(id), bridge::blockBytes(id), byteSize);
}
}  // namespace

void bindUniforms(UniformSet& set, uint32_t program) {
  set.program = program;

  for (uint32_t i = 0; i < SCALAR_UNIFORM_COUNT; ++i) {
    ScalarUniform& scalar = set.scalars[i];
    scalar.location = glGetUniformLocation(program, scalarUniformNames[i]);
    if (scalar.location != -1) {
      scalar.program = program;
      scalar.name = scalarUniformNames[i];
      scalar.changed = 0;
      scalar.kind = SCALAR_INT;
    } else {
      scalar.kind = SCALAR_NONE;
    }
    scalar.value.i = scalarStartValues[i];
    sendScalar(scalar);
  }

  for (uint32_t i = 0; i < BUFFER_UNIFORM_COUNT; ++i) {
    const BufferUniformSource& source = bufferUniformSources[i];
    BufferUniform& uniform = set.buffers[i];
    const uint32_t id = bufferId(source.tableEntry);
    const uint64_t byteSize = static_cast<uint64_t>(source.components) * sizeof(float);
    uniform.location = glGetUniformLocation(program, source.name);
    if (uniform.location == -1) continue;
    if (!sourceUsable(i, id, byteSize)) {
      uniform.location = -1;
      continue;
    }
    uniform.program = program;
    uniform.components = source.components;
    uniform.count = 1;
    uniform.byteSize = byteSize;
    uniform.bufferId = id;
    uniform.data = i == VIEWPORT_SIZE_UNIFORM ? reinterpret_cast<uint8_t*>(viewportSize()) : bridge::blockData(id);
    uniform.name = source.name;
    sendBuffer(uniform, i);
  }

  GLint location = glGetUniformLocation(program, "poissonDisk");
  if (location != -1) glUniform2fv(location, POISSON_DISK_SIZE, &poissonDisk[0][0]);
  location = glGetUniformLocation(program, "ssaoKernel");
  if (location != -1) glUniform3fv(location, SSAO_KERNEL_SIZE, &ssaoKernel[0][0]);
  location = glGetUniformLocation(program, "noiseTile");
  if (location != -1) glUniform1fv(location, NOISE_TILE_SIZE, noiseTile);

  for (const SamplerBinding& sampler : samplerBindings) {
    location = glGetUniformLocation(program, sampler.name);
    if (location != -1) glUniform1i(location, static_cast<GLint>(sampler.unit));
  }
}

void uploadFrameUniforms(UniformSet& set) {
  glUseProgram(set.program);
  // lightTransform is sent only at bind time.
  static constexpr uint32_t perFrame[] = {VIEW_UNIFORM, PROJECTION_UNIFORM, TRANSFORM_UNIFORM, UI_TRANSFORM_UNIFORM,
                                          CAMERA_POSITION_UNIFORM, CAMERA_VECTOR_UNIFORM};
  for (uint32_t index : perFrame) sendBuffer(set.buffers[index], index);
  static constexpr Quality order[] = {SHADOW_QUALITY, SSAO_QUALITY, ANTIALIAS};
  for (Quality q : order) {
    ScalarUniform& scalar = set.scalars[q];
    if (takeChanged(scalar)) sendScalar(scalar);
  }
}

void sendViewportSize(UniformSet& set) {
  glUseProgram(set.program);
  sendBuffer(set.buffers[VIEWPORT_SIZE_UNIFORM], VIEWPORT_SIZE_UNIFORM);
}
}  // namespace tsm::gfx
