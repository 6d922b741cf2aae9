// Vertex buffers fed from shared blocks. See vertexbuffer.h.
#include "bridge/vertexbuffer.h"

#include <GL/glew.h>

#include "bridge/buffers.h"
#include "bridge/core/capacity.h"
#include "base/check.h"
#include "base/log.h"

namespace tsm::bridge {
namespace {
constexpr const char* checkModule = "utils";
}

void initVertexBuffer(VertexBuffer* vb, uint64_t capacity, uint32_t components, uint32_t attribIndex,
                      uint32_t usage, int32_t bufferId) {
  uint64_t byteSize;
  uint8_t* data;
  if (bufferId == 0) {
    byteSize = vertexBlockBytes(capacity, components);
    data = allocateBlock(byteSize);
    bufferId = static_cast<int32_t>(registerBlock(data, byteSize));
  } else {
    byteSize = blockBytes(static_cast<uint32_t>(bufferId));
    data = blockData(static_cast<uint32_t>(bufferId));
    bool modified = false;
    const uint64_t fitting = resolveVertexCapacity(capacity, byteSize, components, &modified);
    if (modified) logError("Non-auto capacity modified: %zu -> %zu\n", static_cast<size_t>(capacity), static_cast<size_t>(fitting));
    capacity = fitting;
  }
  *vb = VertexBuffer{bufferId, components, capacity, usage, byteSize, 0, data, attribIndex};

  glGenBuffers(1, &vb->glBuffer);
  glBindBuffer(GL_ARRAY_BUFFER, vb->glBuffer);
  glVertexAttribPointer(attribIndex, static_cast<GLint>(components), GL_FLOAT, GL_TRUE, 0, nullptr);
  glEnableVertexAttribArray(attribIndex);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(byteSize), data, usage);
}

uint64_t fillLength(const VertexBuffer& vb) {
  if (vb.bufferId < 0 || static_cast<uint32_t>(vb.bufferId) >= bufferCount) return 0;
  return lenBuffer(static_cast<uint32_t>(vb.bufferId));
}

void uploadVertexBuffer(const VertexBuffer& vb) {
  const uint64_t floats = fillLength(vb);
  if (floats == 0) return;
  const uint32_t id = static_cast<uint32_t>(vb.bufferId);
  // The block is read through its id, never through the pointer saved at creation, which a block
  // re-created since (and its old owner collected) would leave dangling.
  const uint8_t* data = blockData(id);
  if (!data) return;
  uint64_t bytes = floats * 4;
  if (bytes > vb.byteSize) bytes = vb.byteSize;
  if (bytes > blockBytes(id)) bytes = blockBytes(id);
  if (bytes == 0) return;
  glBindBuffer(GL_ARRAY_BUFFER, vb.glBuffer);
  glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(bytes), data);
}
}  // namespace tsm::bridge
