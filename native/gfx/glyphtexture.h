// The glyph atlas texture: a GL_TEXTURE_RECTANGLE of GL_RED coverage bytes on GLYPH_ATLAS_UNIT,
// read by the glyph pipelines' `glyphs` sampler. Graphics owns it; text owns what goes in it and
// hands that over through text.h's seam. Callers: initGFX (initGlyphTexture, once) and the frame
// renderer (uploadGlyphTexture, when text reports the atlas dirty at the start of a frame).
#pragma once

namespace tsm::text {
struct AtlasChanges;
}  // namespace tsm::text

namespace tsm::gfx {
// Creates the texture (when there is a GL context), has text build its glyph set, and uploads the
// first atlas. A second call does nothing.
void initGlyphTexture();
// Takes text's atlas changes and sends them (sendGlyphTexture).
void uploadGlyphTexture();
// Sends `changes` to the texture: the whole atlas when its height differs from the storage last
// specified (new storage), else only the changed rows. Nothing without a texture and a GL context.
void sendGlyphTexture(const text::AtlasChanges& changes);
}  // namespace tsm::gfx
