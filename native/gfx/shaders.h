// The shader registry's two host-facing steps, over plain values: compileShader's and checkShaders'
// work once the host function has the strings in the arena. The tables, compiling and programs are
// gfx/shaderregistry; the argument handling is gfx/gfxapi.
#pragma once
#include <cstdint>

#include "gfx/shaderregistry.h"

namespace tsm::gfx {
// Whether compileShader keeps and compiles what it is given: not once quit has released the GL
// context, when there is nothing to compile in (its arguments are then only checked).
bool shadersOpen();
// compileShader's work for a name and source already in the arena (commitShaderString): compiles
// and registers; compile errors only show in checkShaders. A repeated name in one stage is fatal.
void addShader(const char* name, bool isVertex, const char* source);
// checkShaders' answer: 0 when every registered shader compiled, 1 when any did not (one
// standard-error line per failed shader, on every call); after quit only those already found failed.
int32_t shaderStatus();
}  // namespace tsm::gfx
