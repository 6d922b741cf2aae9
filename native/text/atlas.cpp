// The atlas side of the seam with graphics: builds the glyph set when the graphics set-up asks
// (initGlyphSet), and when graphics finds the atlas dirty at the start of a frame places and writes
// the new glyphs and hands over the coverage bytes with the rows they changed (takeAtlasChanges).
// Does not touch GL: graphics (gfx/glyphtexture.cpp) decides how to send what it takes, and keeps
// the texture. Without a GL context the glyph set is still built and packed, so measurement works.
#include "base/log.h"
#include "text/glyphs.h"
#include "text/text.h"

namespace tsm::text {
void initGlyphSet() {
  // The graphics set-up runs once; a second call keeps the set and its references.
  if (glyphSet.glyphs) return;
  createGlyphSet();
  logInfo("Fonts initialized OK\n");
}

bool atlasDirty() { return glyphSet.glyphs && glyphSet.dirty; }

AtlasChanges lastAtlasWrite() {
  return AtlasChanges{glyphSet.atlas, glyphSet.width, glyphSet.toHeight, glyphSet.dirtyTop, glyphSet.dirtyBottom};
}

bool takeAtlasChanges(AtlasChanges* out) {
  if (!glyphSet.glyphs) return false;
  growAtlas(&glyphSet);
  glyphSet.dirty = false;
  *out = lastAtlasWrite();
  return true;
}
}  // namespace tsm::text
