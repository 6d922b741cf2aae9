// The extension exports' argument checks and conversions. See extensions.h. Counts and types are
// programming errors (the standard checks); values out of range are answered with a result.
//
// Sections: helpers | window | events | music | images | export table
#include "bridge/extensions.h"

#include <cstring>

#include "audio/audio.h"
#include "bridge/args.h"
#include "base/words.h"
#include "gfx/sprites.h"
#include "gfx/windowcontrol.h"
#include "input/events.h"

namespace tsm::bridge {
namespace {
constexpr const char* checkModule = "native";

// --- helpers ------------------------------------------------------------------------------------

// Copies string argument `value` into `out` (room `capacity` bytes). False when it does not fit or
// holds a NUL (a C string would end there and name something else).
bool readString(napi_env env, napi_value value, char* out, size_t capacity) {
  napi_valuetype t;
  napi_status status = napi_typeof(env, value, &t);
  CHECK(status == napi_ok);
  CHECK(t == napi_string);
  const size_t length = utf8Length(env, value, checkModule);
  if (length + 1 > capacity) return false;
  const size_t copied = toUtf8(env, value, out, capacity, checkModule);
  return copied == length && std::strlen(out) == length;
}

double numberArg(napi_env env, napi_value value) {
  expectNumber(env, value, checkModule);
  return toF64(env, value, checkModule);
}

// A number argument as an int32 for range checks: NaN and values beyond int32 become -1.
int32_t sideArg(napi_env env, napi_value value) {
  const double v = numberArg(env, value);
  return v >= 0.0 && v <= 2147483647.0 ? static_cast<int32_t>(v) : -1;
}
}  // namespace

// --- window -------------------------------------------------------------------------------------

napi_value setWindowTitle(napi_env env, napi_callback_info info) {
  Args<1> args(env, info, checkModule);
  char title[gfx::MAX_TITLE_BYTES + 1];
  if (!readString(env, args[0], title, sizeof title)) return makeInt32(env, -1, checkModule);
  return makeInt32(env, gfx::setTitle(title), checkModule);
}

napi_value setWindowSize(napi_env env, napi_callback_info info) {
  Args<2> args(env, info, checkModule);
  const int32_t width = sideArg(env, args[0]);
  const int32_t height = sideArg(env, args[1]);
  return makeInt32(env, gfx::setSize(width, height), checkModule);
}

napi_value setRenderScale(napi_env env, napi_callback_info info) {
  Args<1> args(env, info, checkModule);
  return makeInt32(env, gfx::setScale(numberArg(env, args[0])), checkModule);
}

// --- events -------------------------------------------------------------------------------------

napi_value enableEvent(napi_env env, napi_callback_info info) {
  Args<2> args(env, info, checkModule);
  const double type = numberArg(env, args[0]);
  const bool on = toBool(env, args[1], checkModule);
  const int32_t known = type >= 0.0 && type <= 65535.0 ? input::enableRecord(static_cast<uint16_t>(type), on) : 0;
  return makeInt32(env, known, checkModule);
}

// --- music --------------------------------------------------------------------------------------

napi_value playMusic(napi_env env, napi_callback_info info) {
  Args<4> args(env, info, checkModule);
  char path[audio::MAX_MUSIC_PATH + 1];
  const bool pathOk = readString(env, args[0], path, sizeof path);
  const double gain = numberArg(env, args[1]);
  const double loopStart = numberArg(env, args[2]);
  const double loopEnd = numberArg(env, args[3]);
  // OV_FALSE, as the decoder answers for a file it cannot open.
  if (!pathOk) return makeInt32(env, -1, checkModule);
  return makeInt32(env, audio::playMusic(path, wordToFloat(gain), loopStart, loopEnd), checkModule);
}

napi_value stopMusic(napi_env env, napi_callback_info) {
  return makeInt32(env, audio::stopMusic(), checkModule);
}

// --- images -------------------------------------------------------------------------------------

namespace {
// [status, x, y, width, height]; zeros after a failed status.
napi_value imageResult(napi_env env, int32_t status, const gfx::AtlasRect& rect) {
  const int32_t values[5] = {status, rect.x, rect.y, rect.width, rect.height};
  napi_value array;
  napi_status s = napi_create_array_with_length(env, lengthof(values), &array);
  CHECK(s == napi_ok);
  for (uint32_t i = 0; i < lengthof(values); ++i) {
    s = napi_set_element(env, array, i, makeInt32(env, status == 0 ? values[i] : (i == 0 ? status : 0), checkModule));
    CHECK(s == napi_ok);
  }
  return array;
}

uint32_t imageId(napi_env env, napi_value value) {
  expectNumber(env, value, checkModule);
  const uint32_t id = toU32(env, value, checkModule);
  CHECK(id < gfx::SPRITE_IMAGE_COUNT);
  return id;
}
}  // namespace

napi_value loadImage(napi_env env, napi_callback_info info) {
  Args<2> args(env, info, checkModule);
  const uint32_t id = imageId(env, args[0]);
  char path[gfx::MAX_IMAGE_PATH + 1];
  gfx::AtlasRect rect = {};
  if (!readString(env, args[1], path, sizeof path)) return imageResult(env, gfx::IMAGE_UNREADABLE, rect);
  return imageResult(env, gfx::loadImage(id, path, &rect), rect);
}

napi_value setImage(napi_env env, napi_callback_info info) {
  Args<4> args(env, info, checkModule);
  const uint32_t id = imageId(env, args[0]);
  // A Buffer or any Uint8Array.
  bool isTyped = false;
  napi_status status = napi_is_typedarray(env, args[1], &isTyped);
  CHECK(status == napi_ok);
  CHECK(isTyped && "Isn't a Uint8Array?");
  napi_typedarray_type type;
  void* data = nullptr;
  size_t length = 0;
  status = napi_get_typedarray_info(env, args[1], &type, &length, &data, nullptr, nullptr);
  CHECK(status == napi_ok);
  CHECK(type == napi_uint8_array || type == napi_uint8_clamped_array);
  const int32_t width = sideArg(env, args[2]);
  const int32_t height = sideArg(env, args[3]);
  gfx::AtlasRect rect = {};
  const int32_t result = gfx::setImage(id, static_cast<const uint8_t*>(data), length, width, height, &rect);
  return imageResult(env, result, rect);
}

// --- export table -------------------------------------------------------------------------------

#define EXTENSION(fn) napi_property_descriptor{#fn, nullptr, fn, nullptr, nullptr, nullptr, napi_default, nullptr}

void defineExtensions(napi_env env, napi_value exports) {
  const napi_property_descriptor properties[] = {
      EXTENSION(setWindowTitle),
      EXTENSION(setWindowSize),
      EXTENSION(setRenderScale),
      EXTENSION(enableEvent),
      EXTENSION(playMusic),
      EXTENSION(stopMusic),
      EXTENSION(loadImage),
      EXTENSION(setImage),
  };
  // The extensions live on the exports' prototype: `addon.setWindowTitle(...)` and destructuring
  // reach them, while the module's own properties stay exactly the 26 of the base contract.
  napi_value extensions;
  napi_status status = napi_create_object(env, &extensions);
  CHECK(status == napi_ok);
  status = napi_define_properties(env, extensions, lengthof(properties), properties);
  CHECK(status == napi_ok && "Error exporting");
  napi_value global, object, setPrototypeOf, result;
  status = napi_get_global(env, &global);
  CHECK(status == napi_ok);
  status = napi_get_named_property(env, global, "Object", &object);
  CHECK(status == napi_ok);
  status = napi_get_named_property(env, object, "setPrototypeOf", &setPrototypeOf);
  CHECK(status == napi_ok);
  napi_value argv[2] = {exports, extensions};
  status = napi_call_function(env, object, setPrototypeOf, 2, argv, &result);
  CHECK(status == napi_ok);
}

#undef EXTENSION
}  // namespace tsm::bridge
