// Graphics initialisation and the resize hooks. Owns the order of initGFX, which fixes both the
// random sequence (kernel, then noise tile) and the order in which shared-buffer ids are handed out
// (glyph buffers, then the screen quads); the glyph texture (and with it text's glyph set) is made
// right after the sprite texture. Does not own the targets, pipelines or frame drawing.
// Callers: `ready` (initGFX, once), `resize` (the two hooks).
#include "gfx/renderer.h"

#include <GL/glew.h>

#include "base/log.h"
#include "base/random.h"
#include "gfx/core/kernels.h"
#include "gfx/glyphtexture.h"
#include "gfx/pipelines.h"
#include "gfx/targets.h"
#include "gfx/uniforms.h"
#include "gfx/window.h"

namespace tsm::gfx {
namespace {
// Clear colour and depth of the window between frames.
constexpr float WINDOW_CLEAR[4] = {0.25f, 0.25f, 0.25f, 1.0f};
constexpr double WINDOW_CLEAR_DEPTH = 1.0;

bool initialised = false;
}  // namespace

int32_t initGFX() {
  // A second `ready` must not regenerate the sampling data or build a second set of pipelines.
  if (initialised) return 0;
  initialised = true;

  generateSsaoKernel(randomState, ssaoKernel);
  generateNoiseTile(randomState, noiseTile);

  // The screen-sized targets take their size from the viewportSize pair, here and on every resize.
  resize();
  const float* size = viewportSize();
  logInfo("init size: %f, %f\n", static_cast<double>(size[0]), static_cast<double>(size[1]));

  // Without a GL context (SDL or the window failed at start-up) every GL entry point is missing.
  if (!glReady()) {
    logError("initGFX error: no GL context\n");
    return 1;
  }

  makeSpriteTexture();
  initGlyphTexture();

  if (const uint32_t status = makeSceneTarget()) {
    logError("initGFX error: %u\n", status);
    return 1;
  }
  if (const uint32_t status = makeScreenTarget(targets.ghdrTarget)) {
    logError("initGFX error: %u\n", status);
    return 1;
  }
  if (const uint32_t status = makeScreenTarget(targets.gpostTarget)) {
    logError("initGFX error: %u\n", status);
    return 1;
  }

  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glClearColor(WINDOW_CLEAR[0], WINDOW_CLEAR[1], WINDOW_CLEAR[2], WINDOW_CLEAR[3]);
  glClearDepth(WINDOW_CLEAR_DEPTH);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_CULL_FACE);

  buildPipelines();

  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glBindVertexArray(0);
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
  return 0;
}

void resendViewportSize() {
  for (UniformSet& set : allUniformSets) {
    // A set not bound yet has no program to send to.
    if (set.program == 0) continue;
    sendViewportSize(set);
  }
}

void reallocateScreenTextures() { reallocateTargets(); }
}  // namespace tsm::gfx
