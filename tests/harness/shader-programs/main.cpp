// Asks the real shader registry for programs, as the pipeline builders do, in one scenario named by
// the first argument. Opens its own hidden window and GL 4.0 core context (an X display is needed).
// Prints "@program V F ID" for each program it gets and "@objects N" for the GL programs that exist.
// Mode "debug" sends messages of its own through GL debug output instead.
#include <GL/glew.h>
#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "gfx/core/namehash.h"
#include "gfx/gldebug.h"
#include "gfx/shaderregistry.h"

using namespace tsm::gfx;

namespace {
const char* VERTEX = "#version 400 core\nlayout(location = 0) in vec3 p;\nvoid main() { gl_Position = vec4(p, 1.0); }\n";
const char* FRAGMENT = "#version 400 core\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n";
const char* BROKEN = "#version 400 core\nout vec4 c;\nvoid main() { c = undeclared; }\n";

// Copies a string to the arena's tail and keeps it, as compileShader does with the host's strings.
const char* store(const char* text) {
  const size_t length = std::strlen(text);
  std::memcpy(shaderArenaTail(), text, length);
  return commitShaderString(length);
}

void add(const char* name, bool isVertex, const char* source) { registerShader(store(name), isVertex, store(source)); }

const ProgramEntry* program(const char* vertex, const char* fragment) {
  const ProgramEntry* p = getProgram(nameHash(vertex), nameHash(fragment));
  std::printf("@program %s %s %u %s %s\n", vertex, fragment, p->program, p->vertex->name, p->fragment->name);
  std::fflush(stdout);
  return p;
}

// GL program objects that exist among the first 64 names.
int programObjects() {
  int n = 0;
  for (GLuint id = 1; id < 64; ++id) n += glIsProgram(id) ? 1 : 0;
  return n;
}

bool openContext() {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_Window* window = SDL_CreateWindow("shader-programs", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!window || !SDL_GL_CreateContext(window)) return false;
  glewExperimental = GL_TRUE;
  if (glewInit() != GLEW_OK) return false;
  glEnable(GL_DEBUG_OUTPUT);
  glDebugMessageCallback(onGLDebugMessage, nullptr);
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || !openContext()) {
    std::printf("@error usage or no GL context: %s\n", SDL_GetError());
    return 1;
  }
  const char* mode = argv[1];
  if (!std::strcmp(mode, "shared")) {
    // The transparency and unculled pipelines ask for the same pair: one program serves both.
    add("transparent", true, VERTEX);
    add("transparent", false, FRAGMENT);
    add("solid", true, VERTEX);
    add("solid", false, FRAGMENT);
    const ProgramEntry* a = program("transparent", "transparent");
    const int before = programObjects();
    const ProgramEntry* b = program("transparent", "transparent");
    const ProgramEntry* c = program("solid", "solid");
    // Crossed pairs are distinct programs.
    const ProgramEntry* d = program("solid", "transparent");
    std::printf("@same %d\n@objects %d %d\n@distinct %d %d\n", a == b ? 1 : 0, before, programObjects(),
                c != a ? 1 : 0, d != c && d != a ? 1 : 0);
    GLint linked = 0;
    glGetProgramiv(a->program, GL_LINK_STATUS, &linked);
    std::printf("@linked %d\n", linked);
  } else if (!std::strcmp(mode, "missing-vertex")) {
    add("gbuff", false, FRAGMENT);
    program("gbuff", "gbuff");
  } else if (!std::strcmp(mode, "missing-fragment")) {
    add("gbuff", true, VERTEX);
    program("gbuff", "gbuff");
  } else if (!std::strcmp(mode, "full")) {
    char names[11][8];
    for (int i = 0; i < 11; ++i) {
      std::snprintf(names[i], sizeof names[i], "p%d", i);
      add(names[i], true, VERTEX);
      add(names[i], false, FRAGMENT);
    }
    for (int i = 0; i < 11; ++i) program(names[i], names[i]);
  } else if (!std::strcmp(mode, "broken")) {
    // A program over a shader that failed to compile is still made; its link failure goes unseen.
    add("bad", true, VERTEX);
    add("bad", false, BROKEN);
    std::printf("@check %d\n", checkShaderEntries());
    const ProgramEntry* p = program("bad", "bad");
    GLint linked = 1;
    glGetProgramiv(p->program, GL_LINK_STATUS, &linked);
    std::printf("@linked %d\n", linked);
  } else if (!std::strcmp(mode, "debug")) {
    // Messages through the debug-output callback: notifications are dropped, the rest printed.
    glDebugMessageInsert(GL_DEBUG_SOURCE_APPLICATION, GL_DEBUG_TYPE_MARKER, 1, GL_DEBUG_SEVERITY_NOTIFICATION, -1,
                         "a notification");
    glDebugMessageInsert(GL_DEBUG_SOURCE_APPLICATION, GL_DEBUG_TYPE_PERFORMANCE, 2, GL_DEBUG_SEVERITY_MEDIUM, -1,
                         "a performance note");
    glDebugMessageInsert(GL_DEBUG_SOURCE_APPLICATION, GL_DEBUG_TYPE_ERROR, 3, GL_DEBUG_SEVERITY_HIGH, -1, "an error");
    glFinish();
  } else {
    std::printf("@error unknown mode %s\n", mode);
    return 1;
  }
  std::fflush(stdout);
  SDL_Quit();
  return 0;
}
