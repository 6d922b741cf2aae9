// Asks the real shader registry for programs as the pipeline builders do, in the scenario named by
// the first argument, with a hidden window and GL 4.0 core context of its own (an X display is
// needed). Prints "@program V F ID V-NAME F-NAME" for each program it gets and "@name value" facts;
// mode "debug" sends messages of its own through GL debug output instead.
#include <GL/glew.h>
#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "gfx/core/namehash.h"
#include "gfx/gldebug.h"
#include "gfx/shaderregistry.h"

using namespace tsm::gfx;

namespace {
const char* VERTEX = "#version 400 core\nlayout(location = 0) in vec3 p;\nvoid main() { gl_Position = vec4(p, 1.0); }\n";
const char* FRAGMENT = "#version 400 core\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n";

// Copies name and source to the arena's tail and registers them, as compileShader does.
void add(const char* name, bool isVertex, const char* source = nullptr) {
  const char* stored[2];
  for (int i = 0; i < 2; ++i) {
    const char* text = i ? (source ? source : isVertex ? VERTEX : FRAGMENT) : name;
    std::memcpy(shaderArenaTail(), text, std::strlen(text));
    stored[i] = commitShaderString(std::strlen(text));
  }
  registerShader(stored[0], isVertex, stored[1]);
}

const ProgramEntry* program(const char* vertex, const char* fragment) {
  const ProgramEntry* p = getProgram(nameHash(vertex), nameHash(fragment));
  std::printf("@program %s %s %u %s %s\n", vertex, fragment, p->program, p->vertex->name, p->fragment->name);
  std::fflush(stdout);
  return p;
}

// GL program objects among the first 64 names.
int programObjects() {
  int n = 0;
  for (GLuint id = 1; id < 64; ++id) n += glIsProgram(id);
  return n;
}
}  // namespace

int main(int argc, char** argv) {
  SDL_Window* window = nullptr;
  if (argc == 2 && SDL_Init(SDL_INIT_VIDEO) == 0) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    window = SDL_CreateWindow("shader-programs", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  }
  glewExperimental = GL_TRUE;
  if (!window || !SDL_GL_CreateContext(window) || glewInit() != GLEW_OK) {
    std::printf("@error usage or no GL context: %s\n", SDL_GetError());
    return 1;
  }
  glEnable(GL_DEBUG_OUTPUT);
  glDebugMessageCallback(onGLDebugMessage, nullptr);
  const std::string mode = argv[1];
  if (mode == "shared") {
    // The transparency and unculled pipelines ask for the same pair: one program serves both.
    for (const char* name : {"transparent", "solid"}) add(name, true), add(name, false);
    const ProgramEntry* a = program("transparent", "transparent");
    const int before = programObjects();
    const ProgramEntry* b = program("transparent", "transparent");
    const ProgramEntry* c = program("solid", "solid");
    const ProgramEntry* d = program("solid", "transparent");  // crossed pairs are distinct programs
    GLint linked = 0;
    glGetProgramiv(a->program, GL_LINK_STATUS, &linked);
    std::printf("@same %d\n@objects %d %d\n@distinct %d %d\n@linked %d\n", a == b, before, programObjects(), c != a,
                d != c && d != a, linked);
  } else if (mode == "missing-vertex" || mode == "missing-fragment") {
    add("gbuff", mode == "missing-fragment");
    program("gbuff", "gbuff");
  } else if (mode == "full") {
    const char* names[11] = {"p0", "p1", "p2", "p3", "p4", "p5", "p6", "p7", "p8", "p9", "p10"};
    for (const char* name : names) add(name, true), add(name, false);
    for (const char* name : names) program(name, name);  // the eleventh exceeds the program table
  } else if (mode == "broken") {
    // A program over a shader that failed to compile is still made; its link failure goes unseen.
    add("bad", true);
    add("bad", false, "#version 400 core\nout vec4 c;\nvoid main() { c = undeclared; }\n");
    std::printf("@check %d\n", checkShaderEntries());
    program("bad", "bad");
  } else if (mode == "debug") {
    // Notifications are dropped, the rest printed.
    glDebugMessageInsert(GL_DEBUG_SOURCE_APPLICATION, GL_DEBUG_TYPE_MARKER, 1, GL_DEBUG_SEVERITY_NOTIFICATION, -1, "a notification");
    glDebugMessageInsert(GL_DEBUG_SOURCE_APPLICATION, GL_DEBUG_TYPE_PERFORMANCE, 2, GL_DEBUG_SEVERITY_MEDIUM, -1, "a performance note");
    glDebugMessageInsert(GL_DEBUG_SOURCE_APPLICATION, GL_DEBUG_TYPE_ERROR, 3, GL_DEBUG_SEVERITY_HIGH, -1, "an error");
    glFinish();
  } else {
    std::printf("@error unknown mode %s\n", argv[1]);
    return 1;
  }
  std::fflush(stdout);
  SDL_Quit();
  return 0;
}
