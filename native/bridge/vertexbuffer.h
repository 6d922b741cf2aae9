// Vertex buffers: one GL vertex attribute buffer fed from a shared block, so the host writes vertex
// data straight into memory the frame renderer uploads. Built by the pipeline set-up while its
// vertex array and program are bound; uploaded once per frame by the renderer.
#pragma once
#include <cstdint>

namespace tsm::bridge {
struct VertexBuffer {
  int32_t bufferId;      // shared block holding the vertex data
  uint32_t components;   // floats per vertex for this attribute (1..4)
  uint64_t capacity;     // vertices that fit in the block
  uint32_t usage;        // GL usage hint (GL_DYNAMIC_DRAW or GL_STATIC_DRAW)
  uint64_t byteSize;     // size of the block and of the GL buffer
  uint32_t glBuffer;     // GL buffer object name
  uint8_t* data;         // the block's base address at creation time
  uint32_t attribIndex;  // vertex attribute location
};

// Fills `vb` and creates its GL buffer with the block's current contents. bufferId 0 means the
// native side owns the data: a block of capacity x components floats is allocated and registered
// under a new id. Otherwise the host's block decides the capacity; a nonzero requested capacity that
// differs is logged and replaced. An id that names no block gives an empty buffer that uploads nothing.
void initVertexBuffer(VertexBuffer* vb, uint64_t capacity, uint32_t components, uint32_t attribIndex,
                      uint32_t usage, int32_t bufferId);

// Floats the host wrote into the buffer's block for this frame: lenBuffer of its id; 0 for an id
// outside the table.
uint64_t fillLength(const VertexBuffer& vb);

// Replaces the first min(lenBuffer(bufferId) x 4, byteSize, the block's size) bytes of the GL buffer
// from the block as it is now; a zero fill length, or a block that no longer exists, uploads nothing.
void uploadVertexBuffer(const VertexBuffer& vb);
}  // namespace tsm::bridge
