// The shader registry: GLSL sources the host hands over by name and stage, kept in one fixed arena,
// compiled into a fixed shader table; programs linked on request from pairs of name hashes and
// kept in a fixed program table. Nothing is ever removed, so entry pointers stay valid.
#pragma once
#include <node_api.h>

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
  uint32_t shader;     // GL shader object; deleted once checkShaders found it failed
  bool deleted;        // the object was deleted after a failed compile; its name may be reused by GL
};

struct ProgramEntry {
  const ShaderEntry* vertex;
  const ShaderEntry* fragment;
  uint32_t program;  // GL program object
};

// Host function: compileShader(name, isVertex, source) → 0. Copies both strings into the arena and
// compiles; compile errors are only reported by checkShaders. A repeated name in one stage is fatal.
napi_value compileShader(napi_env env, napi_callback_info info);
// Host function: checkShaders() → 0 when every registered shader compiled, 1 when any did not
// (one standard-error line per failed shader, on every call).
napi_value checkShaders(napi_env env, napi_callback_info info);

// The first shader entry whose stored hash equals `hash`, or null. The stage is part of the hash,
// so `type` (GL_VERTEX_SHADER or GL_FRAGMENT_SHADER) takes no further part in the match.
const ShaderEntry* findShader(uint32_t hash, uint32_t type);
// The program of the pair (plain name hashes, no stage bit), linked on first request; the same
// entry on later requests. A missing shader or a full table is fatal.
const ProgramEntry* getProgram(uint32_t vertexNameHash, uint32_t fragmentNameHash);
}  // namespace tsm::gfx
