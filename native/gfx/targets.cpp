// Render targets and their textures. Owns the framebuffer and texture records; does not draw or
// decide when targets are made (initGFX does) or bound for drawing (the frame renderer does).
// Every texture lives on its own texture unit for the whole run, bound there when made and again
// whenever its storage is re-allocated, so the samplers of every program can point at fixed units.
// Callers: initGFX, the pipeline builders (G-buffer, shadow map), the frame renderer, resize.
//
// Sections: state | texture storage | making textures | framebuffers | resize
#include "gfx/targets.h"

#include <GL/glew.h>
#include <SDL.h>

#include <cstdio>

#include "base/check.h"
#include "base/log.h"
#include "gfx/core/framerules.h"
#include "gfx/core/uniformset.h"
#include "gfx/window.h"
#include "gfx/windowcontrol.h"

namespace tsm::gfx {
namespace {
constexpr const char* checkModule = "gfx";

// Size of the sprite texture: it is made without storage and nothing fills it.
constexpr float EMPTY_SIZE[2] = {0.0f, 0.0f};

struct TextureFormat {
  uint32_t internalFormat, format, type;
};
constexpr TextureFormat DEPTH_FORMAT = {GL_DEPTH_COMPONENT32F, GL_DEPTH_COMPONENT, GL_FLOAT};
constexpr TextureFormat POSITION_FORMAT = {GL_RGBA32F, GL_RGBA, GL_FLOAT};
constexpr TextureFormat ALBEDO_FORMAT = {GL_RGB8, GL_RGB, GL_UNSIGNED_BYTE};
constexpr TextureFormat NORMALS_FORMAT = {GL_RGB10, GL_RGB, GL_UNSIGNED_BYTE};
constexpr TextureFormat SCREEN_FORMAT = {GL_RGB10, GL_RGB, GL_UNSIGNED_BYTE};
constexpr TextureFormat SPRITE_FORMAT = {GL_RGBA, GL_RGBA, GL_UNSIGNED_BYTE};

// Whether makeSceneTarget has made the screen-sized textures (resize re-allocates nothing before).
bool screenTexturesMade = false;

// --- texture storage ----------------------------------------------------------------------------

void bindOnUnit(const Texture& texture) {
  glActiveTexture(texture.unit);
  glBindTexture(texture.target, texture.id);
}

// --- making textures ----------------------------------------------------------------------------

// Fills, creates, parameterises, allocates and (with an attachment) attaches one texture to the
// framebuffer bound at that moment.
void makeTexture(Texture& texture, const TextureFormat& f, uint32_t attachment, uint32_t target, uint32_t unit,
                 uint32_t filter, const float size[2]) {
  texture.internalFormat = f.internalFormat;
  texture.format = f.format;
  texture.type = f.type;
  texture.attachment = attachment;
  texture.target = target;
  texture.level = 0;
  texture.border = 0;
  glGenTextures(1, &texture.id);
  texture.unit = GL_TEXTURE0 + unit;
  bindOnUnit(texture);
  texture.minFilter = filter;
  texture.magFilter = filter;
  texture.wrapS = GL_CLAMP_TO_EDGE;
  texture.wrapT = GL_CLAMP_TO_EDGE;
  glTexParameteri(target, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(texture.minFilter));
  glTexParameteri(target, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(texture.magFilter));
  glTexParameteri(target, GL_TEXTURE_WRAP_S, static_cast<GLint>(texture.wrapS));
  glTexParameteri(target, GL_TEXTURE_WRAP_T, static_cast<GLint>(texture.wrapT));
  allocTexture(texture, size);
  if (attachment != 0) glFramebufferTexture2D(GL_FRAMEBUFFER, attachment, target, texture.id, texture.level);
}

void makeTargetTexture(Texture& texture, const TextureFormat& f, uint32_t attachment, uint32_t unit,
                       const float size[2]) {
  makeTexture(texture, f, attachment, GL_TEXTURE_2D, unit, GL_NEAREST, size);
}

uint32_t drawFramebufferStatus() {
  const GLenum status = glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER);
  return status == GL_FRAMEBUFFER_COMPLETE ? 0 : status;
}

// The size truncated to an integer; NaN and sizes outside 0..2^31 give 0 (a texture of no texels).
int32_t truncateSize(float size) {
  return size >= 0.0f && size < 2147483648.0f ? static_cast<int32_t>(size) : 0;
}

void reallocate(Texture& texture, const float size[2]) {
  bindOnUnit(texture);
  allocTexture(texture, size);
}
}  // namespace

RenderTargets targets = {};

void allocTexture(Texture& texture, const float size[2]) {
  // The sprite texture starts 0 x 0 on every run, so at a quieter log level this is a notice.
  if (size[0] == 0.0f || size[1] == 0.0f) {
    logNotice("Warning: %fx%f texture initialized? PB %i\n", static_cast<double>(size[0]), static_cast<double>(size[1]), 0);
  }
  texture.width = truncateSize(size[0]);
  texture.height = truncateSize(size[1]);
  glTexImage2D(texture.target, texture.level, static_cast<GLint>(texture.internalFormat), texture.width,
               texture.height, texture.border, texture.format, texture.type, nullptr);
}

void makeSpriteTexture() {
  makeTexture(targets.spriteTexture, SPRITE_FORMAT, 0, GL_TEXTURE_RECTANGLE, SPRITE_UNIT, GL_LINEAR, EMPTY_SIZE);
}

// --- framebuffers -------------------------------------------------------------------------------

uint32_t makeSceneTarget() {
  glGenFramebuffers(1, &targets.sceneTarget);
  glBindFramebuffer(GL_FRAMEBUFFER, targets.sceneTarget);
  const float* size = sceneTargetSize();
  makeTargetTexture(targets.sceneDepthTexture, DEPTH_FORMAT, GL_DEPTH_ATTACHMENT, SCENE_DEPTH_UNIT, size);
  makeTargetTexture(targets.screenTexture, SCREEN_FORMAT, GL_COLOR_ATTACHMENT0, SCREEN_UNIT, size);
  screenTexturesMade = true;
  const GLenum drawBuffer = GL_COLOR_ATTACHMENT0;
  glDrawBuffers(1, &drawBuffer);
  return drawFramebufferStatus();
}

uint32_t makeScreenTarget(uint32_t& framebuffer) {
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  const Texture& screen = targets.screenTexture;
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, screen.target, screen.id, screen.level);
  const GLenum drawBuffer = GL_COLOR_ATTACHMENT0;
  glDrawBuffers(1, &drawBuffer);
  return drawFramebufferStatus();
}

void makeGBufferTextures() {
  const float* size = sceneTargetSize();
  Texture* t = targets.gTextures;
  makeTargetTexture(t[GBUFFER_DEPTH], DEPTH_FORMAT, GL_DEPTH_ATTACHMENT, GBUFFER_DEPTH_UNIT, size);
  makeTargetTexture(t[GBUFFER_POSITION], POSITION_FORMAT, GL_COLOR_ATTACHMENT0, GBUFFER_POSITION_UNIT, size);
  makeTargetTexture(t[GBUFFER_ALBEDO], ALBEDO_FORMAT, GL_COLOR_ATTACHMENT1, GBUFFER_ALBEDO_UNIT, size);
  makeTargetTexture(t[GBUFFER_NORMALS], NORMALS_FORMAT, GL_COLOR_ATTACHMENT2, GBUFFER_NORMALS_UNIT, size);
  const GLenum drawBuffers[GBUFFER_COLOR_COUNT] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1, GL_COLOR_ATTACHMENT2};
  glDrawBuffers(GBUFFER_COLOR_COUNT, drawBuffers);
}

void makeShadowMap() {
  makeTargetTexture(targets.shadowMap, DEPTH_FORMAT, GL_DEPTH_ATTACHMENT, SHADOW_MAP_UNIT, targets.shadowSize);
}

void requireComplete(FramebufferRole role) {
  const GLenum status = glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER);
  if (status == GL_FRAMEBUFFER_COMPLETE) return;
  // The log line and the message box's title of each framebuffer.
  static constexpr const char* failure[][2] = {
      {"Solid init error: %s\n", "OpenGL: Error intializing Solid"},
      {"Shadow init error: %s\n", "OpenGL: Error intializing Shadow"},
      {"Screen init error: %s\n", "OpenGL: Error intializing Screen"},
  };
  const char* name = framebufferStatusName(status);
  logError(failure[role][0], name);
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, failure[role][1], name, nullptr);
  switch (role) {
    case SOLID_FRAMEBUFFER: CHECK(!"Solid init error"); break;
    case SHADOW_FRAMEBUFFER: CHECK(!"Shadow init error"); break;
    case SCREEN_FRAMEBUFFER: CHECK(!"Screen init error"); break;
  }
}

// --- resize -------------------------------------------------------------------------------------

void reallocateTargets() {
  if (!screenTexturesMade) return;
  const float* size = sceneTargetSize();
  reallocate(targets.sceneDepthTexture, size);
  reallocate(targets.screenTexture, size);
  // The G-buffer exists only once the solid pipeline is built (a failed screen target stops before).
  if (targets.gBuffer == 0) return;
  for (Texture& t : targets.gTextures) reallocate(t, size);
}
}  // namespace tsm::gfx
