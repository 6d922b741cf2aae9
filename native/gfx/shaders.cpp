// The shader registry's host-facing steps. See shaders.h. Callers: the host functions (gfx/gfxapi),
// before `ready`.
#include "gfx/shaders.h"

#include "gfx/window.h"

namespace tsm::gfx {
bool shadersOpen() { return !glClosed(); }

void addShader(const char* name, bool isVertex, const char* source) { registerShader(name, isVertex, source); }

int32_t shaderStatus() { return checkShaderEntries(!glClosed()); }
}  // namespace tsm::gfx
