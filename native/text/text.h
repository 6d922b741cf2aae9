// Text: the three faces, the glyph cache and atlas, layout of text runs into the glyph batches, and
// measurement. Faces open at start-up and close at shutdown; the glyph set is built by the graphics
// set-up; layout runs from the command stream; the renderer uploads the atlas and draws the batches.
#pragma once
#include <node_api.h>

#include <cstdint>

#include "text/core/quad.h"

namespace tsm::text {
// Colour of every glyph vertex laid out from now on (red, green, blue, alpha); opaque black at load.
extern float textColor[4];

// The two glyph batches: 0 plain (drawn by the uiglyphs pipeline), 1 outline (uiglyphsoutline).
// The renderer points their arrays at its glyph pipelines' vertex blocks when it builds them and
// reads their triangle counts each frame; until then the arrays are null and nothing is laid out.
constexpr int GLYPH_BATCH_PLAIN = 0;
constexpr int GLYPH_BATCH_OUTLINE = 1;
extern GlyphBatch glyphBatches[2];

// Opens FreeType and the mono, sans and fallback faces; failures are logged (module start-up).
void openFonts();
// Closes the faces and FreeType (shutdown, after SDL).
void closeFonts();
// Creates the atlas texture and the glyph set, preloads ASCII, uploads (graphics set-up).
void initGlyphSet();
// Whether glyphs were added since the last upload.
bool atlasDirty();
// Places, writes and sends the glyphs added since the last upload (graphics set-up, and each frame
// when dirty); lays every glyph out afresh only when a new one finds no room.
void uploadAtlas();
// Empties both glyph batches (start of every tick).
void resetGlyphBatches();
// Command 10: lays out `length` bytes of STRING_BUFFER from `offset` into a glyph batch.
int32_t layoutTextCommand(uint32_t offset, int64_t length, float x, float y, float size, uint16_t fontWord,
                          uint32_t maxWidth);

// Host function.
napi_value measureText(napi_env env, napi_callback_info info);
}  // namespace tsm::text
