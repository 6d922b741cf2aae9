// The atlas texture: a GL_TEXTURE_RECTANGLE of GL_RED coverage bytes on texture unit 10, 4096
// texels wide, specified again only when its height changes. Builds the glyph set when the
// graphics set-up runs (initGlyphSet); when the renderer finds it dirty at the start of a frame
// (uploadAtlas) places and writes the new glyphs and sends only the rows they changed. Without a GL context the glyph set is still built
// and packed, so measurement works; nothing is sent.
#include <GL/glew.h>

#include "base/log.h"
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

// Sends what the last write changed: the whole atlas when its height changed (new storage), else
// only the band of rows the new glyphs were written into.
void sendAtlas() {
  glyphSet.dirty = false;
  if (!haveTexture()) return;
  glActiveTexture(ATLAS_TEXTURE_UNIT);
  glBindTexture(GL_TEXTURE_RECTANGLE, atlasTexture.name);
  atlasTexture.width = glyphSet.width;
  const GLsizei width = static_cast<GLsizei>(glyphSet.width);
  if (atlasTexture.height != glyphSet.toHeight) {
    atlasTexture.height = glyphSet.toHeight;
    glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RED, width, static_cast<GLsizei>(glyphSet.toHeight), 0, GL_RED,
                 GL_UNSIGNED_BYTE, glyphSet.atlas);
  } else if (glyphSet.dirtyBottom > glyphSet.dirtyTop) {
    glTexSubImage2D(GL_TEXTURE_RECTANGLE, 0, 0, static_cast<GLint>(glyphSet.dirtyTop), width,
                    static_cast<GLsizei>(glyphSet.dirtyBottom - glyphSet.dirtyTop), GL_RED, GL_UNSIGNED_BYTE,
                    glyphSet.atlas + static_cast<size_t>(glyphSet.dirtyTop) * glyphSet.width);
  }
}
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
  growAtlas(&glyphSet);
  sendAtlas();
}

void relayoutAtlas() {
  if (!glyphSet.glyphs) return;
  repackAtlas(&glyphSet);
  sendAtlas();
}
}  // namespace tsm::text
