// Text: the three faces, the glyph cache and atlas, layout of text runs into the glyph batches, and
// measurement. Faces open at start-up and close at shutdown; layout runs from the command stream.
#pragma once
#include <node_api.h>

#include <cstdint>

namespace tsm::text {
// Colour of every glyph vertex laid out from now on (red, green, blue, alpha); opaque black at load.
extern float textColor[4];

// Opens FreeType and the mono, sans and fallback faces; failures are logged.
void openFonts();
// Closes the faces and FreeType.
void closeFonts();
// Empties both glyph batches (start of every tick).
void resetGlyphBatches();
// Command 10: lays out `length` bytes of STRING_BUFFER from `offset` into a glyph batch.
int32_t layoutTextCommand(uint32_t offset, int64_t length, float x, float y, float size, uint16_t fontWord,
                          uint32_t maxWidth);

// Host function.
napi_value measureText(napi_env env, napi_callback_info info);
}  // namespace tsm::text
