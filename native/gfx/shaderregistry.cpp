// The shader registry's tables. Owns the string arena, the shader table and the program table;
// compiles shaders as they are registered, reports failed compiles, and links programs on request.
// It reads no files and decides no programs: compileShader (gfx/gfxapi) fills it, and the
// pipeline builders ask for programs through getProgram. Everything runs on the thread that owns
// the GL context; nothing is ever removed, so entry pointers stay valid for the process.
//
// Sections: state | arena | shaders | programs
#include "gfx/shaderregistry.h"

#include <GL/glew.h>

#include <cstdlib>
#include <cstring>

#include "base/check.h"
#include "base/log.h"
#include "gfx/core/namehash.h"

namespace tsm::gfx {
namespace {
constexpr const char* checkModule = "gfx";

// Log text reported for an entry whose object an earlier check deleted: GL may have handed that
// object number to a newer shader, so it is not queried again.
constexpr const char* DELETED_SHADER_LOG = "shader object deleted after its failed compile\n";

// --- state --------------------------------------------------------------------------------------
char shaderStrings[shaderStringSize];
uint32_t shaderStringIndex = 0;
ShaderEntry shaders[shaderCount];
uint32_t shadersLength = 0;
ProgramEntry programs[programCount];
uint32_t programsLength = 0;
}  // namespace

// --- arena --------------------------------------------------------------------------------------

char* shaderArenaTail() { return shaderStrings + shaderStringIndex; }

size_t shaderArenaRoom() { return shaderStringSize - shaderStringIndex; }

const char* commitShaderString(size_t copied) {
  char* start = shaderStrings + shaderStringIndex;
  start[copied] = '\0';
  shaderStringIndex += static_cast<uint32_t>(copied) + 1;
  CHECK(shaderStringIndex < shaderStringSize && "Need more memory allocated for shaders, exceeded shaderStringSize");
  return start;
}

// --- shaders ------------------------------------------------------------------------------------

const ShaderEntry* findShader(uint32_t hash, uint32_t) {
  for (uint32_t i = 0; i < shadersLength; ++i) {
    if (shaders[i].hash == hash) return &shaders[i];
  }
  return nullptr;
}

const ShaderEntry* registerShader(const char* name, bool isVertex, const char* source) {
  CHECK(shadersLength < shaderCount && "Exceeded max shader count");
  const uint32_t type = isVertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER;
  const uint32_t hash = stageHash(nameHash(name), isVertex);
  // CHECK_IN directly: through CHECK the NULL in the reported text would be macro-expanded.
  CHECK_IN(checkModule, findShader(hash, type) == NULL && "Hash collision");
  // Without a GL context (SDL or GLEW failed at start-up) the entry points are not loaded.
  CHECK_IN(checkModule, glCreateShader != NULL && "OpenGL not initialized");

  const GLuint shader = glCreateShader(type);
  // The length counts the terminating zero, as the arena stores it.
  const GLint length = static_cast<GLint>(std::strlen(source)) + 1;
  glShaderSource(shader, 1, &source, &length);
  glCompileShader(shader);

  shaders[shadersLength] = ShaderEntry{name, hash, type, source, shader, false};
  return &shaders[shadersLength++];
}

int32_t checkShaderEntries(bool queryGL) {
  int32_t result = 0;
  for (uint32_t i = 0; i < shadersLength; ++i) {
    ShaderEntry& entry = shaders[i];
    const char* stageName = entry.stage == GL_VERTEX_SHADER ? "vertex" : "fragment";
    if (entry.deleted) {
      logError("Unable to compile shader %s (%s): %s", entry.name, stageName, DELETED_SHADER_LOG);
      result = 1;
      continue;
    }
    if (!queryGL) continue;
    // Preset to 0: a query that fails counts as a failed compile and an empty log.
    GLint status = 0;
    glGetShaderiv(entry.shader, GL_COMPILE_STATUS, &status);
    if (status != 0) continue;

    GLint logLength = 0;
    glGetShaderiv(entry.shader, GL_INFO_LOG_LENGTH, &logLength);
    if (logLength < 0) logLength = 0;
    // One byte more than the driver's length, terminated whatever the driver wrote.
    char* infoLog = static_cast<char*>(std::malloc(static_cast<size_t>(logLength) + 1));
    CHECK(infoLog && "Out of memory");
    infoLog[0] = '\0';
    if (logLength > 0) glGetShaderInfoLog(entry.shader, logLength, NULL, infoLog);
    infoLog[logLength] = '\0';
    logError("Unable to compile shader %s (%s): %s", entry.name, stageName, infoLog);
    std::free(infoLog);

    glDeleteShader(entry.shader);
    entry.deleted = true;
    result = 1;
  }
  return result;
}

// --- programs -----------------------------------------------------------------------------------

const ProgramEntry* getProgram(uint32_t vertexNameHash, uint32_t fragmentNameHash) {
  const uint32_t vh = stageHash(vertexNameHash, true);
  const uint32_t fh = stageHash(fragmentNameHash, false);
  for (uint32_t i = 0; i < programsLength; ++i) {
    if (programs[i].vertex->hash == vh && programs[i].fragment->hash == fh) return &programs[i];
  }
  CHECK(programsLength < programCount && "Exceeded max program count");

  const ShaderEntry* v = findShader(vh, GL_VERTEX_SHADER);
  if (!v) {
    logError("Vertex shader not found: %u\n", static_cast<unsigned>(vertexNameHash));
    CHECK_IN(checkModule, v != NULL && "Vertex shader not found");
  }
  const ShaderEntry* f = findShader(fh, GL_FRAGMENT_SHADER);
  if (!f) {
    logError("Fragment shader not found: %u\n", static_cast<unsigned>(fragmentNameHash));
    CHECK_IN(checkModule, f != NULL && "Fragment shader not found");
  }

  const GLuint program = glCreateProgram();
  // A shader deleted after its failed compile is left out: GL may have given its number to another
  // shader since, which must not end up in this program. The program links without that stage.
  if (!v->deleted) glAttachShader(program, v->shader);
  if (!f->deleted) glAttachShader(program, f->shader);
  glLinkProgram(program);

  programs[programsLength] = ProgramEntry{v, f, program};
  return &programs[programsLength++];
}
}  // namespace tsm::gfx
