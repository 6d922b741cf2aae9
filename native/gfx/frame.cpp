// Frame rendering: the per-frame uploads (the glyph atlas when text reports it dirty, through
// gfx/glyphtexture; glyph fill lengths from text's batch triangle counts; uniforms; the 22 vertex
// buffers) and the fixed pass sequence ending in the swap. Owns no GL objects: pipelines, targets
// and the glyph texture are built by initGFX. Reads text only through text.h. Allocates nothing.
// Every draw count is capped by what the pipeline's buffers hold, so no draw reads past a GL buffer
// whatever lengths the host wrote.
// Caller: `render`, once per displayed frame after `ready`.
//
// Sections: uploads | passes | renderFrame
#include <GL/glew.h>
#include <SDL.h>

#include "bridge/buffers.h"
#include "bridge/vertexbuffer.h"
#include "gfx/core/framerules.h"
#include "gfx/glyphtexture.h"
#include "gfx/pipelines.h"
#include "gfx/renderer.h"
#include "gfx/screenshot.h"
#include "gfx/targets.h"
#include "gfx/uniforms.h"
#include "gfx/window.h"
#include "gfx/windowcontrol.h"
#include "text/text.h"

namespace tsm::gfx {
namespace {
using bridge::VertexBuffer;

// Clear colours of the G-buffer and of sceneTarget before the lighting pass.
constexpr float GBUFFER_CLEAR[4] = {0.1f, 0.1f, 0.1f, 1.0f};
constexpr float SCENE_CLEAR[4] = {0.3f, 0.35f, 0.5f, 1.0f};
// Bit of DEBUG_BUFFER's first byte that turns the G-buffer thumbnails on.
constexpr uint8_t DEBUG_THUMBNAILS_BIT = 0x01;
// Vertex buffers uploaded each frame: solid 0-4, transparency 0-2, unculled 0-2, point-light
// instances 2-4, uitris 0-1, uiglyphs 0-2, uiglyphsoutline 0-2.
constexpr uint32_t UPLOAD_TABLE_SIZE = 22;

struct UploadEntry {
  PipelineIndex pipeline;
  uint32_t attribute;
};
constexpr UploadEntry uploadTable[UPLOAD_TABLE_SIZE] = {
    {SOLID_PIPELINE, 0},        {SOLID_PIPELINE, 1},        {SOLID_PIPELINE, 2},
    {SOLID_PIPELINE, 3},        {SOLID_PIPELINE, 4},        {TRANSPARENCY_PIPELINE, 0},
    {TRANSPARENCY_PIPELINE, 1}, {TRANSPARENCY_PIPELINE, 2}, {UNCULLED_PIPELINE, 0},
    {UNCULLED_PIPELINE, 1},     {UNCULLED_PIPELINE, 2},     {POINTLIGHTS_PIPELINE, 2},
    {POINTLIGHTS_PIPELINE, 3},  {POINTLIGHTS_PIPELINE, 4},  {UITRIS_PIPELINE, 0},
    {UITRIS_PIPELINE, 1},       {UIGLYPHS_PIPELINE, 0},     {UIGLYPHS_PIPELINE, 1},
    {UIGLYPHS_PIPELINE, 2},     {UIGLYPHS_OUTLINE_PIPELINE, 0}, {UIGLYPHS_OUTLINE_PIPELINE, 1},
    {UIGLYPHS_OUTLINE_PIPELINE, 2},
};

// --- uploads ------------------------------------------------------------------------------------

void setGlyphFillLengths(const Pipeline& p, uint32_t triangles) {
  bridge::setLenBuffer(static_cast<uint32_t>(p.vertexBuffers[0].bufferId), triangles * GLYPH_POSITION_FLOATS);
  bridge::setLenBuffer(static_cast<uint32_t>(p.vertexBuffers[1].bufferId), triangles * GLYPH_TEXCOORD_FLOATS);
  bridge::setLenBuffer(static_cast<uint32_t>(p.vertexBuffers[2].bufferId), triangles * GLYPH_COLOR_FLOATS);
}

// --- passes -------------------------------------------------------------------------------------

void usePipeline(const Pipeline& p) {
  glBindVertexArray(p.vertexArray);
  glUseProgram(p.program);
}

// Vertices of pipeline `p` to draw: whole vertices in attribute `attribute`'s fill length.
GLsizei vertexCount(const Pipeline& p, uint32_t attribute) {
  return static_cast<GLsizei>(drawCount(bridge::fillLength(p.vertexBuffers[attribute]), DRAW_COUNT_FLOATS, p.vertexLimit));
}

void shadowPass() {
  const Pipeline& shadow = pipelines[SHADOW_PIPELINE];
  usePipeline(shadow);
  glBindFramebuffer(GL_FRAMEBUFFER, targets.shadowTarget);
  glClear(GL_DEPTH_BUFFER_BIT);
  glCullFace(GL_FRONT);
  glViewport(0, 0, static_cast<GLsizei>(targets.shadowSize[0]), static_cast<GLsizei>(targets.shadowSize[1]));
  // The shadow pipeline's attribute 0 is the solid pipeline's: the same fill length.
  glDrawArrays(GL_TRIANGLES, 0, vertexCount(shadow, 0));
  glCullFace(GL_BACK);
}

void geometryPass(const int32_t scene[2]) {
  const Pipeline& solid = pipelines[SOLID_PIPELINE];
  usePipeline(solid);
  glBindFramebuffer(GL_FRAMEBUFFER, targets.gBuffer);
  glViewport(0, 0, scene[0], scene[1]);
  glClearColor(GBUFFER_CLEAR[0], GBUFFER_CLEAR[1], GBUFFER_CLEAR[2], GBUFFER_CLEAR[3]);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDrawArrays(GL_TRIANGLES, 0, vertexCount(solid, 0));
}

void lightingPass() {
  glBindFramebuffer(GL_FRAMEBUFFER, targets.sceneTarget);
  usePipeline(pipelines[GBUFF_PIPELINE]);
  glClearColor(SCENE_CLEAR[0], SCENE_CLEAR[1], SCENE_CLEAR[2], SCENE_CLEAR[3]);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  glDrawArrays(GL_TRIANGLE_FAN, 0, SCREEN_QUAD_VERTICES);
  glEnable(GL_CULL_FACE);
  glEnable(GL_DEPTH_TEST);
}

void depthCopy(const int32_t scene[2]) {
  glBindFramebuffer(GL_READ_FRAMEBUFFER, targets.gBuffer);
  glBlitFramebuffer(0, 0, scene[0], scene[1], 0, 0, scene[0], scene[1], GL_DEPTH_BUFFER_BIT, GL_NEAREST);
  glBindFramebuffer(GL_FRAMEBUFFER, targets.sceneTarget);
}

void forwardPasses() {
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDepthMask(GL_FALSE);

  const Pipeline& transparency = pipelines[TRANSPARENCY_PIPELINE];
  if (bridge::fillLength(transparency.vertexBuffers[0]) != 0) {
    usePipeline(transparency);
    glDrawArrays(GL_TRIANGLES, 0, vertexCount(transparency, 0));
  }

  const Pipeline& unculled = pipelines[UNCULLED_PIPELINE];
  if (bridge::fillLength(unculled.vertexBuffers[0]) != 0) {
    usePipeline(unculled);
    glDisable(GL_CULL_FACE);
    glDrawArrays(GL_TRIANGLES, 0, vertexCount(unculled, 0));
    glEnable(GL_CULL_FACE);
  }

  const Pipeline& lights = pipelines[POINTLIGHTS_PIPELINE];
  const uint64_t instanceFloats = bridge::fillLength(lights.vertexBuffers[3]);
  if (instanceFloats != 0) {
    usePipeline(lights);
    glBlendFunc(GL_ONE, GL_ONE);
    const uint64_t instances = drawCount(instanceFloats, INSTANCE_COUNT_FLOATS, lights.instanceLimit);
    glDrawArraysInstanced(GL_TRIANGLES, 0, vertexCount(lights, 0), static_cast<GLsizei>(instances));
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  }

  glDepthMask(GL_TRUE);
}

void postPasses() {
  glBindVertexArray(0);
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  static constexpr PipelineIndex postOrder[] = {GHDR_PIPELINE, GPOST_PIPELINE};
  for (PipelineIndex index : postOrder) {
    usePipeline(pipelines[index]);
    glClear(GL_DEPTH_BUFFER_BIT);
    glDrawArrays(GL_TRIANGLE_FAN, 0, SCREEN_QUAD_VERTICES);
  }
  glEnable(GL_CULL_FACE);
  glEnable(GL_DEPTH_TEST);
}

// The scene drawn at a render scale below 1 is scaled up to the window here; the interface is then
// drawn over it at the window's own size.
void toWindow(const int32_t scene[2]) {
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, targets.gpostTarget);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  glBlitFramebuffer(0, 0, scene[0], scene[1], 0, 0, renderSize[0], renderSize[1], GL_COLOR_BUFFER_BIT, GL_LINEAR);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  glViewport(0, 0, renderSize[0], renderSize[1]);
}

void interfacePass(uint32_t plainTriangles, uint32_t outlineTriangles) {
  glClear(GL_DEPTH_BUFFER_BIT);
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  const Pipeline& uitris = pipelines[UITRIS_PIPELINE];
  usePipeline(uitris);
  glDrawArrays(GL_TRIANGLES, 0, vertexCount(uitris, 0));
  const Pipeline& plain = pipelines[UIGLYPHS_PIPELINE];
  usePipeline(plain);
  glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(drawCount(3ull * plainTriangles, 1, plain.vertexLimit)));
  const Pipeline& outline = pipelines[UIGLYPHS_OUTLINE_PIPELINE];
  usePipeline(outline);
  glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(drawCount(3ull * outlineTriangles, 1, outline.vertexLimit)));
  glEnable(GL_CULL_FACE);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
}

bool thumbnailsRequested() {
  const uint8_t* debug = bridge::blockData(bridge::DEBUG_BUFFER);
  return debug && bridge::blockBytes(bridge::DEBUG_BUFFER) > 0 && (debug[0] & DEBUG_THUMBNAILS_BIT);
}

void debugThumbnails(const int32_t scene[2]) {
  const int32_t width = renderSize[0], height = renderSize[1];
  const TileSize tile = debugTileSize(width, height);
  if (tile.width == 0 || tile.height == 0) return;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, targets.gBuffer);
  for (int32_t i = 0; i < static_cast<int32_t>(GBUFFER_COLOR_COUNT); ++i) {
    glReadBuffer(GL_COLOR_ATTACHMENT0 + i);
    glBlitFramebuffer(0, 0, scene[0], scene[1], i * tile.width, height - tile.height, (i + 1) * tile.width, height,
                      GL_COLOR_BUFFER_BIT, GL_LINEAR);
  }
}

void drawFrame(uint32_t plainTriangles, uint32_t outlineTriangles) {
  int32_t scene[2];
  sceneSize(scene);
  shadowPass();
  geometryPass(scene);
  lightingPass();
  depthCopy(scene);
  forwardPasses();
  postPasses();
  toWindow(scene);
  interfacePass(plainTriangles, outlineTriangles);
  if (thumbnailsRequested()) debugThumbnails(scene);
  takeScreenshot(renderSize[0], renderSize[1]);
  SDL_GL_SwapWindow(mainWindow());
}
}  // namespace

// --- renderFrame --------------------------------------------------------------------------------

void renderFrame() {
  // Before the pipelines exist (no `ready` yet, no GL, or a screen target that was incomplete)
  // there is nothing to draw with; after quit there is no context to draw in.
  if (!pipelinesBuilt() || !glReady()) return;
  if (text::atlasDirty()) uploadGlyphTexture();

  const uint32_t plainTriangles = text::glyphTriangles(text::GLYPH_BATCH_PLAIN);
  const uint32_t outlineTriangles = text::glyphTriangles(text::GLYPH_BATCH_OUTLINE);
  setGlyphFillLengths(pipelines[UIGLYPHS_PIPELINE], plainTriangles);
  setGlyphFillLengths(pipelines[UIGLYPHS_OUTLINE_PIPELINE], outlineTriangles);

  for (UniformSet& set : allUniformSets) uploadFrameUniforms(set);
  for (const UploadEntry& e : uploadTable) bridge::uploadVertexBuffer(pipelines[e.pipeline].vertexBuffers[e.attribute]);

  drawFrame(plainTriangles, outlineTriangles);
}
}  // namespace tsm::gfx
