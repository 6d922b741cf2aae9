// The glyph atlas texture (see glyphtexture.h): 4096 texels wide, specified again only when its
// height changes, otherwise sent as the band of rows text reports changed. Does not place, write or
// look up glyphs (text does) and does not draw (gfx/frame.cpp does).
#include "gfx/glyphtexture.h"

#include <GL/glew.h>

#include <cstddef>

#include "gfx/core/uniformset.h"
#include "gfx/window.h"
#include "text/text.h"

namespace tsm::gfx {
namespace {
// The texture and the storage last specified; 0 x 0 until the first upload.
struct GlyphTexture {
  bool made;  // initGlyphTexture has run
  GLuint name;
  uint32_t width;
  uint32_t height;
};
GlyphTexture glyphTexture = {};

bool haveTexture() { return glyphTexture.name != 0 && glReady(); }
}  // namespace

void initGlyphTexture() {
  // The graphics set-up runs once; a second call keeps the texture and the glyph set.
  if (glyphTexture.made) return;
  glyphTexture.made = true;
  if (glReady()) {
    glGenTextures(1, &glyphTexture.name);
    glActiveTexture(GL_TEXTURE0 + GLYPH_ATLAS_UNIT);
    glBindTexture(GL_TEXTURE_RECTANGLE, glyphTexture.name);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  }
  glyphTexture.width = 0;
  glyphTexture.height = 0;
  text::initGlyphSet();
  uploadGlyphTexture();
}

void uploadGlyphTexture() {
  text::AtlasChanges changes;
  if (text::takeAtlasChanges(&changes)) sendGlyphTexture(changes);
}

void sendGlyphTexture(const text::AtlasChanges& changes) {
  if (!haveTexture()) return;
  glActiveTexture(GL_TEXTURE0 + GLYPH_ATLAS_UNIT);
  glBindTexture(GL_TEXTURE_RECTANGLE, glyphTexture.name);
  glyphTexture.width = changes.width;
  const GLsizei width = static_cast<GLsizei>(changes.width);
  if (glyphTexture.height != changes.height) {
    glyphTexture.height = changes.height;
    glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RED, width, static_cast<GLsizei>(changes.height), 0, GL_RED,
                 GL_UNSIGNED_BYTE, changes.coverage);
  } else if (changes.bottom > changes.top) {
    glTexSubImage2D(GL_TEXTURE_RECTANGLE, 0, 0, static_cast<GLint>(changes.top), width,
                    static_cast<GLsizei>(changes.bottom - changes.top), GL_RED, GL_UNSIGNED_BYTE,
                    changes.coverage + static_cast<size_t>(changes.top) * changes.width);
  }
}
}  // namespace tsm::gfx
