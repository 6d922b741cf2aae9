// Text: the three faces, the glyph cache and atlas, layout of text runs into the glyph batches, and
// measurement. Owns no GL object and makes no GL call: graphics owns the atlas texture and the glyph
// pipelines, and talks to text only through the seam below. Faces open at module start-up and close
// at shutdown (bridge); the glyph set is built by the graphics set-up; layout runs from the command
// stream (bridge), which also sets the colour and empties the batches at the start of every tick.
//
// The seam with graphics:
//  - initGlyphSet, atlasDirty, takeAtlasChanges: graphics builds the set at its set-up and, when the
//    atlas is dirty at the start of a frame, takes the coverage bytes and changed rows to upload;
//  - attachGlyphBatch: graphics hands each batch the vertex arrays of its glyph pipeline;
//  - glyphTriangles: graphics reads each batch's triangle count every frame to draw.
#pragma once
#include <node_api.h>

#include <cstdint>

namespace tsm::text {
// The two glyph batches: 0 plain (drawn by the uiglyphs pipeline), 1 outline (uiglyphsoutline).
constexpr int GLYPH_BATCH_PLAIN = 0;
constexpr int GLYPH_BATCH_OUTLINE = 1;

// What the atlas holds after a take: `width` x `height` coverage bytes, top row first, of which
// rows [top, bottom) changed since the previous take (none when bottom <= top).
struct AtlasChanges {
  const uint8_t* coverage;
  uint32_t width;
  uint32_t height;
  uint32_t top;
  uint32_t bottom;
};

// Opens FreeType and the mono, sans and fallback faces; failures are logged (module start-up).
void openFonts();
// Closes the faces and FreeType (shutdown, after SDL).
void closeFonts();
// Builds the glyph set and preloads ASCII; logs "Fonts initialized OK" (graphics set-up, before the
// first take). A second call keeps the set and its references.
void initGlyphSet();
// Whether glyphs were added since the last take.
bool atlasDirty();
// Places and writes the glyphs added since the last take, laying every glyph out afresh only when
// a new one finds no room, and answers the atlas and the rows that changed; no longer dirty after.
// False (nothing to send) when there is no glyph set.
bool takeAtlasChanges(AtlasChanges* out);
// Sets the colour (red, green, blue, alpha) of every glyph vertex laid out from now on; opaque black
// at load (command 12).
void setTextColor(const float rgba[4]);
// Points batch GLYPH_BATCH_PLAIN or GLYPH_BATCH_OUTLINE at three vertex arrays of at least
// GLYPH_BATCH_VERTICES vertices (3, 2 and 4 floats each) and empties it. Until then a batch has no
// arrays and nothing is laid out into it (graphics set-up).
void attachGlyphBatch(int batch, float* positions, float* texcoords, float* colors);
// Triangles laid out into the batch since it was last emptied (each frame, to draw).
uint32_t glyphTriangles(int batch);
// Empties both glyph batches: called at the start of every tick, before the command stream runs.
void resetGlyphBatches();
// Command 10: lays out `length` bytes of STRING_BUFFER from `offset` into a glyph batch.
int32_t layoutTextCommand(uint32_t offset, int64_t length, float x, float y, float size, uint16_t fontWord,
                          uint32_t maxWidth);

// Host function.
napi_value measureText(napi_env env, napi_callback_info info);
}  // namespace tsm::text
