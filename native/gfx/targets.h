// Render targets: the texture descriptor, texture storage allocation, and the five framebuffers with
// their textures (G-buffer, shadow map, scene, and the two post targets over the scene's colour
// texture). Callers: initGFX (make the targets), the frame renderer (bind and blit), the resize hook
// (re-allocate the screen-sized textures).
#pragma once
#include <cstdint>

namespace tsm::gfx {
// Side of the square shadow map, in texels.
constexpr float SHADOW_MAP_SIZE = 4096.0f;
// Colour attachments of the G-buffer: position, albedo, normals.
constexpr uint32_t GBUFFER_COLOR_COUNT = 3;

struct Texture {
  uint32_t id;
  uint32_t internalFormat;
  int32_t width, height;  // set by allocTexture
  uint32_t format, type;  // pixel transfer format and type
  uint32_t attachment;    // framebuffer attachment point; 0 when not attached
  int32_t level;          // always 0
  int32_t border;         // always 0
  uint32_t target;        // GL_TEXTURE_2D or GL_TEXTURE_RECTANGLE
  uint32_t unit;          // GL_TEXTURE0 + n, for the whole run
  uint32_t minFilter, magFilter, wrapS, wrapT;
};

// G-buffer textures in their order.
enum GBufferTexture : uint32_t { GBUFFER_DEPTH = 0, GBUFFER_POSITION, GBUFFER_ALBEDO, GBUFFER_NORMALS, GBUFFER_TEXTURE_COUNT };

// The framebuffers and textures; zero until made.
struct RenderTargets {
  uint32_t gBuffer;
  Texture gTextures[GBUFFER_TEXTURE_COUNT];
  float shadowSize[2];
  uint32_t shadowTarget;
  Texture shadowMap;
  uint32_t sceneTarget;
  Texture sceneDepthTexture;
  Texture screenTexture;
  uint32_t ghdrTarget;
  uint32_t gpostTarget;
  Texture spriteTexture;
};
extern RenderTargets targets;

// Gives the bound texture storage at size[0] x size[1] (truncated). A zero width or height logs the
// warning line and the texture gets no storage. The texture's unit must be active and it bound.
void allocTexture(Texture& texture, const float size[2]);

// Makes the sprite texture (rectangle, unit 11) with no storage: logs allocTexture's warning.
void makeSpriteTexture();
// Makes sceneTarget with its depth and colour textures at the viewportSize pair and checks it;
// the framebuffer status when incomplete, else 0. Leaves sceneTarget bound.
uint32_t makeSceneTarget();
// Makes a framebuffer whose only attachment is screenTexture and checks it; returns the status
// when incomplete, else 0, and stores the framebuffer in `framebuffer`. Leaves it bound.
uint32_t makeScreenTarget(uint32_t& framebuffer);
// Makes the G-buffer's four textures at the viewportSize pair on the bound framebuffer, sets its
// three draw buffers. The caller checks completeness.
void makeGBufferTextures();
// Makes the shadow map at shadowSize on the bound framebuffer.
void makeShadowMap();
// Framebuffers whose incompleteness stops the process.
enum FramebufferRole : uint32_t { SOLID_FRAMEBUFFER = 0, SHADOW_FRAMEBUFFER, SCREEN_FRAMEBUFFER };
// Aborts with the log line, the message box and the check when the bound draw framebuffer is
// incomplete.
void requireComplete(FramebufferRole role);

// Re-allocates sceneDepthTexture, screenTexture and the four G-buffer textures at the pair's
// current size, each on its own unit. Does nothing before the targets exist.
void reallocateTargets();
}  // namespace tsm::gfx
