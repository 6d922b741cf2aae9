// The atlas texture: a GL_TEXTURE_RECTANGLE of GL_RED coverage bytes on texture unit 10, 4096
// texels wide, specified again only when its height changes. Builds the glyph set when the
// graphics set-up runs (initGlyphSet) and repacks and sends the whole atlas when the renderer finds
// it dirty at the start of a frame (uploadAtlas). Without a GL context the glyph set is still built
// and packed, so measurement works; nothing is sent.
#include <GL/glew.h>

#include "bridge/core/log.h"
#include "gfx/window.h"
#include "text/glyphs.h"
#include "text/text.h"

namespace tsm::text {
namespace {
// Texture unit the glyph pipelines' `glyphs` sampler reads; no other texture uses it.
constexpr GLenum ATLAS_TEXTURE_UNIT = GL_TEXTURE10;

// The storage last specified; 0 x 0 until the first upload.
struct AtlasTexture {
  GLuint name;
  uint32_t width;
  uint32_t height;
};
AtlasTexture atlasTexture = {};

bool haveTexture() { return atlasTexture.name != 0 && gfx::glReady(); }
}  // namespace

void initGlyphSet() {
  // The graphics set-up runs once; a second call keeps the set and its references.
  if (glyphSet.glyphs) return;
  if (gfx::glReady()) {
    glGenTextures(1, &atlasTexture.name);
    glActiveTexture(ATLAS_TEXTURE_UNIT);
    glBindTexture(GL_TEXTURE_RECTANGLE, atlasTexture.name);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  }
  atlasTexture.width = 0;
  atlasTexture.height = 0;
  createGlyphSet();
  logInfo("Fonts initialized OK\n");
  uploadAtlas();
}

bool atlasDirty() { return glyphSet.glyphs && glyphSet.dirty; }

void uploadAtlas() {
  if (!glyphSet.glyphs) return;
  sortGlyphs(&glyphSet);
  packGlyphs(&glyphSet);
  if (!haveTexture()) {
    writeAtlas(&glyphSet);
    glyphSet.dirty = false;
    return;
  }
  glActiveTexture(ATLAS_TEXTURE_UNIT);
  glBindTexture(GL_TEXTURE_RECTANGLE, atlasTexture.name);
  atlasTexture.width = glyphSet.width;
  const GLsizei width = static_cast<GLsizei>(glyphSet.width);
  const GLsizei height = static_cast<GLsizei>(glyphSet.toHeight);
  if (atlasTexture.height == glyphSet.toHeight) {
    writeAtlas(&glyphSet);
    glTexSubImage2D(GL_TEXTURE_RECTANGLE, 0, 0, 0, width, height, GL_RED, GL_UNSIGNED_BYTE, glyphSet.atlas);
  } else {
    atlasTexture.height = glyphSet.toHeight;
    writeAtlas(&glyphSet);
    glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RED, width, height, 0, GL_RED, GL_UNSIGNED_BYTE, glyphSet.atlas);
  }
  glyphSet.dirty = false;
}
}  // namespace tsm::text
