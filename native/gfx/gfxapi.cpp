// The graphics subsystem's host functions: argument checks and conversions, then the plain calls of
// the shader registry (gfx/shaders), the bufferIDs table (gfx/bufferids), the quality settings
// (gfx/quality), window control (gfx/windowcontrol) and the sprite atlas (gfx/sprites). Counts and
// types are programming errors (the checks); values out of range are answered with a result.
// Callers: the host; shaders and the table before `ready`, the rest between frames.
//
// The base functions' checks report module "gfx"; the extension exports' (window, images) report
// "native", as every extension export does.
//
// Sections: shaders | bufferIDs | quality | window | images
#include "gfx/gfxapi.h"

#include "base/check.h"
#include "bridge/args.h"
#include "bridge/buffers.h"
#include "gfx/bufferids.h"
#include "gfx/quality.h"
#include "gfx/shaders.h"
#include "gfx/screenshot.h"
#include "gfx/sprites.h"
#include "gfx/windowcontrol.h"

namespace tsm::gfx {
namespace {
constexpr const char* checkModule = "gfx";
constexpr const char* extensionModule = "native";

using bridge::bufferCount;

// A number argument as an int32 for range checks: NaN and values beyond int32 become -1.
int32_t sideArg(napi_env env, napi_value value) {
  const double v = bridge::toNumber(env, value, extensionModule);
  return v >= 0.0 && v <= 2147483647.0 ? static_cast<int32_t>(v) : -1;
}
}  // namespace

// --- shaders ------------------------------------------------------------------------------------

namespace {
// Copies a host string into the arena with its terminator; the host API cuts a longer string to
// the room left.
const char* storeString(napi_env env, napi_value value) {
  const size_t copied = bridge::toUtf8(env, value, shaderArenaTail(), shaderArenaRoom(), checkModule);
  return commitShaderString(copied);
}
}  // namespace

napi_value compileShader(napi_env env, napi_callback_info info) {
  bridge::Args<3> args(env, info, checkModule);
  // After quit there is no context to compile in: the arguments are checked and nothing is kept.
  if (!shadersOpen()) {
    bridge::utf8Length(env, args[0], checkModule);
    bridge::toBool(env, args[1], checkModule);
    bridge::utf8Length(env, args[2], checkModule);
    return bridge::makeInt32(env, 0, checkModule);
  }
  const char* name = storeString(env, args[0]);
  const bool isVertex = bridge::toBool(env, args[1], checkModule);
  const char* source = storeString(env, args[2]);
  addShader(name, isVertex, source);
  return bridge::makeInt32(env, 0, checkModule);
}

napi_value checkShaders(napi_env env, napi_callback_info) {
  return bridge::makeInt32(env, shaderStatus(), checkModule);
}

// --- bufferIDs ----------------------------------------------------------------------------------

napi_value setBuffers(napi_env env, napi_callback_info info) {
  bridge::Args<1> args(env, info, checkModule);
  const uint32_t id = bridge::toU32(env, args[0], checkModule);
  CHECK(id < bufferCount);
  setBufferTable(id);
  return bridge::makeInt32(env, 0, checkModule);
}

// --- quality ------------------------------------------------------------------------------------

namespace {
// A missing or extra argument fails `argc == 1`, a non-number `status == napi_ok`.
napi_value setQualityFrom(napi_env env, napi_callback_info info, Quality which) {
  const int32_t level = bridge::toI32(env, bridge::singleArg(env, info, checkModule), checkModule);
  setQuality(which, level);
  return bridge::makeUndefined(env, checkModule);
}
}  // namespace

napi_value setShadowQuality(napi_env env, napi_callback_info info) { return setQualityFrom(env, info, SHADOW_QUALITY); }

napi_value setSsaoQuality(napi_env env, napi_callback_info info) { return setQualityFrom(env, info, SSAO_QUALITY); }

napi_value setAntialias(napi_env env, napi_callback_info info) { return setQualityFrom(env, info, ANTIALIAS); }

// --- window -------------------------------------------------------------------------------------

napi_value setWindowTitle(napi_env env, napi_callback_info info) {
  bridge::Args<1> args(env, info, extensionModule);
  char title[MAX_TITLE_BYTES + 1];
  if (!bridge::toCString(env, args[0], title, sizeof title, extensionModule)) {
    return bridge::makeInt32(env, -1, extensionModule);
  }
  return bridge::makeInt32(env, setTitle(title), extensionModule);
}

napi_value setWindowSize(napi_env env, napi_callback_info info) {
  bridge::Args<2> args(env, info, extensionModule);
  const int32_t width = sideArg(env, args[0]);
  const int32_t height = sideArg(env, args[1]);
  return bridge::makeInt32(env, setSize(width, height), extensionModule);
}

napi_value setRenderScale(napi_env env, napi_callback_info info) {
  bridge::Args<1> args(env, info, extensionModule);
  return bridge::makeInt32(env, setScale(bridge::toNumber(env, args[0], extensionModule)), extensionModule);
}

// --- screenshots --------------------------------------------------------------------------------

napi_value screenshot(napi_env env, napi_callback_info info) {
  bridge::Args<1> args(env, info, extensionModule);
  char path[MAX_SCREENSHOT_PATH + 1];
  if (!bridge::toCString(env, args[0], path, sizeof path, extensionModule)) {
    return bridge::makeInt32(env, SCREENSHOT_BAD_PATH, extensionModule);
  }
  return bridge::makeInt32(env, requestScreenshot(path), extensionModule);
}

napi_value screenshotStatus(napi_env env, napi_callback_info) {
  return bridge::makeInt32(env, gfx::screenshotStatus(), extensionModule);
}

// --- images -------------------------------------------------------------------------------------

namespace {
// [status, x, y, width, height]; zeros after a failed status.
napi_value imageResult(napi_env env, int32_t status, const AtlasRect& rect) {
  const int32_t placed[5] = {status, rect.x, rect.y, rect.width, rect.height};
  const int32_t failed[5] = {status, 0, 0, 0, 0};
  return bridge::makeInt32Array(env, status == 0 ? placed : failed, 5, extensionModule);
}

uint32_t imageId(napi_env env, napi_value value) {
  bridge::expectNumber(env, value, extensionModule);
  const uint32_t id = bridge::toU32(env, value, extensionModule);
  CHECK_IN(extensionModule, id < gfx::SPRITE_IMAGE_COUNT);
  return id;
}
}  // namespace

napi_value loadImage(napi_env env, napi_callback_info info) {
  bridge::Args<2> args(env, info, extensionModule);
  const uint32_t id = imageId(env, args[0]);
  char path[MAX_IMAGE_PATH + 1];
  AtlasRect rect = {};
  if (!bridge::toCString(env, args[1], path, sizeof path, extensionModule)) {
    return imageResult(env, IMAGE_UNREADABLE, rect);
  }
  return imageResult(env, loadImage(id, path, &rect), rect);
}

napi_value setImage(napi_env env, napi_callback_info info) {
  bridge::Args<4> args(env, info, extensionModule);
  const uint32_t id = imageId(env, args[0]);
  // A Buffer or any Uint8Array.
  const bridge::ByteView rgba = bridge::toUint8Array(env, args[1], extensionModule);
  const int32_t width = sideArg(env, args[2]);
  const int32_t height = sideArg(env, args[3]);
  AtlasRect rect = {};
  const int32_t result = setImage(id, rgba.data, rgba.length, width, height, &rect);
  return imageResult(env, result, rect);
}
}  // namespace tsm::gfx
