// GL debug output: the message callback the GL start-up installs. GL errors are never polled; they
// reach standard error only through this callback.
#pragma once
#include <GL/glew.h>

namespace tsm::gfx {
// Writes every message except notifications to standard error as
// "GL ERROR|GL message: type:%x severity:%x\n  %s\n". Never stops anything.
void GLAPIENTRY onGLDebugMessage(GLenum source, GLenum type, GLuint id, GLenum severity, GLsizei length,
                                 const GLchar* message, const void* userParam);
}  // namespace tsm::gfx
