// The shader registry. Owns the string arena, the shader table and the program table, and the host
// functions that fill and check them. It reads no files: every source comes from the host. It does
// not decide which programs exist; the pipeline builders ask for them through getProgram.
// Callers: the host (compileShader, checkShaders, before `ready`), initGFX (getProgram).
//
// Sections: state | lookup | host functions | programs
#include "gfx/shaders.h"

#include <GL/glew.h>

#include <cstdlib>
#include <cstring>

#include "bridge/args.h"
#include "bridge/core/check.h"
#include "bridge/core/log.h"
#include "gfx/core/namehash.h"
#include "gfx/window.h"

namespace tsm::gfx {
namespace {
constexpr const char* checkModule = "gfx";

// Log text reported for an entry whose object an earlier checkShaders deleted: GL may have handed
// that object number to a newer shader, so it is not queried again.
constexpr const char* DELETED_SHADER_LOG = "shader object deleted after its failed compile\n";

// --- state --------------------------------------------------------------------------------------
char shaderStrings[shaderStringSize];
uint32_t shaderStringIndex = 0;
ShaderEntry shaders[shaderCount];
uint32_t shadersLength = 0;
ProgramEntry programs[programCount];
uint32_t programsLength = 0;

// Copies a host string into the arena with its terminator; returns where it starts.
const char* storeString(napi_env env, napi_value value) {
  char* start = shaderStrings + shaderStringIndex;
  // The room offered is everything left; the host API cuts a longer string to fit.
  const size_t copied = bridge::toUtf8(env, value, start, shaderStringSize - shaderStringIndex, checkModule);
  shaderStringIndex += static_cast<uint32_t>(copied) + 1;
  CHECK(shaderStringIndex < shaderStringSize && "Need more memory allocated for shaders, exceeded shaderStringSize");
  return start;
}
}  // namespace

// --- lookup -------------------------------------------------------------------------------------

const ShaderEntry* findShader(uint32_t hash, uint32_t) {
  for (uint32_t i = 0; i < shadersLength; ++i) {
    if (shaders[i].hash == hash) return &shaders[i];
  }
  return nullptr;
}

// --- host functions -----------------------------------------------------------------------------

napi_value compileShader(napi_env env, napi_callback_info info) {
  bridge::Args<3> args(env, info, checkModule);
  const char* name = storeString(env, args[0]);
  const bool isVertex = bridge::toBool(env, args[1], checkModule);
  const char* source = storeString(env, args[2]);
  CHECK(shadersLength < shaderCount && "Exceeded max shader count");

  const uint32_t type = isVertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER;
  const uint32_t hash = stageHash(nameHash(name), isVertex);
  // CHECK_IN directly: through CHECK the NULL in the reported text would be macro-expanded.
  CHECK_IN(checkModule, findShader(hash, type) == NULL && "Hash collision");
  // Without a GL context (SDL or GLEW failed at start-up) there is nothing to compile with.
  CHECK(glReady() && "OpenGL not initialized");

  const GLuint shader = glCreateShader(type);
  // The length counts the terminating zero, as the arena stores it.
  const GLint length = static_cast<GLint>(std::strlen(source)) + 1;
  glShaderSource(shader, 1, &source, &length);
  glCompileShader(shader);

  shaders[shadersLength++] = ShaderEntry{name, hash, type, source, shader, false};
  return bridge::makeInt32(env, 0, checkModule);
}

napi_value checkShaders(napi_env env, napi_callback_info) {
  int32_t result = 0;
  for (uint32_t i = 0; i < shadersLength; ++i) {
    ShaderEntry& entry = shaders[i];
    const char* stageName = entry.stage == GL_VERTEX_SHADER ? "vertex" : "fragment";
    if (entry.deleted) {
      logError("Unable to compile shader %s (%s): %s", entry.name, stageName, DELETED_SHADER_LOG);
      result = 1;
      continue;
    }
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
  return bridge::makeInt32(env, result, checkModule);
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
  glAttachShader(program, v->shader);
  glAttachShader(program, f->shader);
  glLinkProgram(program);

  programs[programsLength] = ProgramEntry{v, f, program};
  return &programs[programsLength++];
}
}  // namespace tsm::gfx
