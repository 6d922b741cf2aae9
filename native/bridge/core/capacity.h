// Vertex capacity arithmetic of the vertex buffers fed from shared blocks.
#pragma once
#include <cstdint>

namespace tsm::bridge {
// Bytes of a native-owned vertex block: capacity x components x 4.
uint64_t vertexBlockBytes(uint64_t capacity, uint32_t components);

// Vertices of `components` floats that fit in `byteSize` bytes (integer division; 0 components fit none).
uint64_t vertexCapacityFitting(uint64_t byteSize, uint32_t components);

// Capacity to use for a host-owned block: what fits. `modified` is set when a nonzero request differs.
uint64_t resolveVertexCapacity(uint64_t requested, uint64_t byteSize, uint32_t components, bool* modified);
}  // namespace tsm::bridge
