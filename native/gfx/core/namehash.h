// Shader name hashing: the 32-bit name hash and the stage bit that tells a vertex entry from a
// fragment entry of the same name. Pure; used by the shader registry and the pipeline builders.
#pragma once
#include <cstdint>

namespace tsm::gfx {
// Bit 31 of a registry hash: set for the vertex stage, clear for the fragment stage.
constexpr uint32_t VERTEX_STAGE_BIT = 0x80000000u;

// djb2-style hash of a zero-terminated name: h = 5381, then h = h * 33 + w for each byte, where w is
// the byte read as signed 8 bits, widened to 16 bits and read unsigned (0x80..0xFF add 0xFF80..0xFFFF).
uint32_t nameHash(const char* name);

// The registry hash of a plain name hash: bit 31 set for the vertex stage, cleared otherwise.
constexpr uint32_t stageHash(uint32_t plainHash, bool isVertex) {
  return isVertex ? (plainHash | VERTEX_STAGE_BIT) : (plainHash & ~VERTEX_STAGE_BIT);
}
}  // namespace tsm::gfx
