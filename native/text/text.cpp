// Placeholder text subsystem: no faces, so layout appends nothing and measurement measures nothing.
#include "text/text.h"

#include "bridge/args.h"

namespace tsm::text {
namespace {
constexpr const char* checkModule = "gfx";
}

float textColor[4] = {0.0f, 0.0f, 0.0f, 1.0f};
GlyphBatch glyphBatches[2] = {};

void openFonts() {}
void closeFonts() {}
void initGlyphSet() {}
bool atlasDirty() { return false; }
void uploadAtlas() {}
void resetGlyphBatches() {
  for (auto& batch : glyphBatches) batch.triangleCount = 0;
}
int32_t layoutTextCommand(uint32_t, int64_t, float, float, float, uint16_t, uint32_t) { return 0; }

napi_value measureText(napi_env env, napi_callback_info info) {
  bridge::Args<3> args(env, info, checkModule);
  return bridge::makeDouble(env, 0.0, checkModule);
}
}  // namespace tsm::text
