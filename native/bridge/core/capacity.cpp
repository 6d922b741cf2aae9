// Vertex capacity arithmetic. See capacity.h.
#include "bridge/core/capacity.h"

namespace tsm::bridge {
uint64_t vertexBlockBytes(uint64_t capacity, uint32_t components) { return capacity * components * 4; }

uint64_t vertexCapacityFitting(uint64_t byteSize, uint32_t components) {
  return components ? byteSize / 4 / components : 0;
}

uint64_t resolveVertexCapacity(uint64_t requested, uint64_t byteSize, uint32_t components, bool* modified) {
  const uint64_t fitting = vertexCapacityFitting(byteSize, components);
  *modified = requested != 0 && requested != fitting;
  return fitting;
}
}  // namespace tsm::bridge
