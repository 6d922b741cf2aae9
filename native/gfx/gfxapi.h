// The graphics subsystem's host functions, registered from the bridge's one export table. Each
// checks and converts its arguments (bridge/args) and hands plain values to the subsystem.
#pragma once
#include <node_api.h>

namespace tsm::gfx {
// compileShader(name, isVertex, source) → 0. Copies both strings into the arena and compiles;
// compile errors are only reported by checkShaders. A repeated name in one stage is fatal.
napi_value compileShader(napi_env env, napi_callback_info info);
// checkShaders() → 0 when every registered shader compiled, 1 when any did not (one
// standard-error line per failed shader, on every call).
napi_value checkShaders(napi_env env, napi_callback_info info);
// setBuffers(id) → 0: registers block `id` (`id < bufferCount`) as the bufferIDs table.
napi_value setBuffers(napi_env env, napi_callback_info info);
// setShadowQuality(level), setSsaoQuality(level), setAntialias(level) → undefined. The level is
// taken as a 32-bit integer: the fraction dropped, a non-finite number read as 0, a larger one
// keeping its low 32 bits.
napi_value setShadowQuality(napi_env env, napi_callback_info info);
napi_value setSsaoQuality(napi_env env, napi_callback_info info);
napi_value setAntialias(napi_env env, napi_callback_info info);

// Extensions.
// setWindowTitle(title): 0, 1 without a window, -1 for a title over MAX_TITLE_BYTES or with a NUL.
napi_value setWindowTitle(napi_env env, napi_callback_info info);
// setWindowSize(width, height): 0 asked, 1 without a window, -1 a side outside 1..MAX_WINDOW_SIDE.
napi_value setWindowSize(napi_env env, napi_callback_info info);
// setRenderScale(scale): 0, -1 for a scale outside 0.25..1.
napi_value setRenderScale(napi_env env, napi_callback_info info);
// loadImage(id, path) and setImage(id, rgbaBuffer, width, height): [status, x, y, width, height]:
// status 0 (gfx::ImageStatus otherwise) and where the image's top-left texel lies in the sprite
// atlas (texel rows grow downwards in the image), zeros on failure. An id over 255 fails its check.
napi_value loadImage(napi_env env, napi_callback_info info);
napi_value setImage(napi_env env, napi_callback_info info);
// screenshot(path): asks for the next frame as a PNG file at `path`: SCREENSHOT_PENDING, or
// SCREENSHOT_NO_GL / SCREENSHOT_BAD_PATH. screenshotStatus(): how the last one went.
napi_value screenshot(napi_env env, napi_callback_info info);
napi_value screenshotStatus(napi_env env, napi_callback_info info);
}  // namespace tsm::gfx
