// The shader registry's tables: the string arena, the shader table and the program table, with the
// steps that fill and read them. No host types: the host function compileShader (gfx/gfxapi) copies
// the host's strings in, and native test programs drive the same code directly.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tsm::gfx {
// Bytes of the arena holding every shader name and source, zero-terminated, back to back.
constexpr uint32_t shaderStringSize = 65536;
// Slots of the shader table (the pipelines need 19).
constexpr uint32_t shaderCount = 32;
// Slots of the program table (the pipelines link exactly 10).
constexpr uint32_t programCount = 10;

struct ShaderEntry {
  const char* name;    // in the arena
  uint32_t hash;       // nameHash(name) with the stage bit
  uint32_t stage;      // GL_VERTEX_SHADER or GL_FRAGMENT_SHADER
  const char* source;  // in the arena
  uint32_t shader;     // GL shader object; deleted once checkShaderEntries found it failed
  bool deleted;        // the object was deleted after a failed compile; GL may reuse its number
};

struct ProgramEntry {
  const ShaderEntry* vertex;
  const ShaderEntry* fragment;
  uint32_t program;  // GL program object
};

// Where the next arena string goes, and the room left there (terminator included; never 0).
char* shaderArenaTail();
size_t shaderArenaRoom();
// Keeps the `copied` bytes written at the tail plus their terminator (already written or not) and
// returns where the string starts. The index must stay below shaderStringSize afterwards.
const char* commitShaderString(size_t copied);

// Compiles an arena-held source under an arena-held name and appends its entry. A full table and a
// repeated name in one stage are fatal. Needs a current GL context.
const ShaderEntry* registerShader(const char* name, bool isVertex, const char* source);
// 0 when every entry compiled; 1 when any did not, with one standard-error line per failed entry.
// With `queryGL` false (no context any more) only entries already found failed are reported.
int32_t checkShaderEntries(bool queryGL = true);

// The first shader entry whose stored hash equals `hash`, or null. The stage is part of the hash,
// so `type` (GL_VERTEX_SHADER or GL_FRAGMENT_SHADER) takes no further part in the match.
const ShaderEntry* findShader(uint32_t hash, uint32_t type);
// The program of the pair (plain name hashes, no stage bit), linked on first request; the same
// entry on later requests. A missing shader or a full table is fatal.
const ProgramEntry* getProgram(uint32_t vertexNameHash, uint32_t fragmentNameHash);
}  // namespace tsm::gfx
