// GL debug-output callback. Installed by the GL start-up (window.cpp) with no user pointer; runs on
// the host's thread inside whichever GL call raised the message. Source, id and length are unused:
// the message text is zero-terminated.
#include "gfx/gldebug.h"

#include "base/log.h"

namespace tsm::gfx {
void GLAPIENTRY onGLDebugMessage(GLenum, GLenum type, GLuint, GLenum severity, GLsizei, const GLchar* message,
                                 const void*) {
  if (severity == GL_DEBUG_SEVERITY_NOTIFICATION) return;
  logError("%s: type:%x severity:%x\n  %s\n", type == GL_DEBUG_TYPE_ERROR ? "GL ERROR" : "GL message",
           static_cast<unsigned>(type), static_cast<unsigned>(severity), message ? message : "");
}
}  // namespace tsm::gfx
