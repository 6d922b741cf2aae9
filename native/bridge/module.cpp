// Module entry: registration with the host, the export table, start-up of every subsystem inside
// the registration callback, and the lifecycle calls `ready`, `startTicking`, `quit`, plus the
// per-step `poll` and per-frame `render` entries. Subsystems keep their own state; this file only
// orders them. Start-up keeps no record of what came up: later calls rely on the host's ordering.
//
// Sections: registration | start-up | lifecycle | per-step and per-frame entries | export table
#include <node_api.h>

#include <cstdlib>
#include <ctime>

#include "audio/audio.h"
#include "bridge/args.h"
#include "bridge/buffers.h"
#include "bridge/commands.h"
#include "bridge/extensions.h"
#include "base/check.h"
#include "base/log.h"
#include "base/random.h"
#include "gfx/bufferids.h"
#include "gfx/quality.h"
#include "gfx/renderer.h"
#include "gfx/shaders.h"
#include "gfx/window.h"
#include "input/clipboard.h"
#include "input/events.h"
#include "input/usb.h"
#include "text/text.h"

namespace tsm::bridge {
namespace {
constexpr const char* checkModule = "native";
// Bytes of a thrown error's stack text printed before the check it causes; the rest is cut.
constexpr size_t THROWN_TEXT_CAPACITY = 16384;

// --- lifecycle --------------------------------------------------------------------------------

napi_value ready(napi_env env, napi_callback_info) {
  gfx::initGFX();
  logInfo("Native ready\n");
  return makeInt32(env, 0, checkModule);
}

// Drops an exception raised while describing another one; answers whether there was one.
bool clearPending(napi_env env) {
  bool pending = false;
  if (napi_is_exception_pending(env, &pending) != napi_ok || !pending) return false;
  napi_value ignored;
  napi_get_and_clear_last_exception(env, &ignored);
  return true;
}

// Text of a thrown value: an Error's `stack` (its message and where it was thrown), otherwise
// String(value). Copied into `out` (room `capacity` bytes, terminator included); false when the
// value cannot be made a string (its toString throws, or it is a Symbol).
bool thrownText(napi_env env, napi_value thrown, char* out, size_t capacity) {
  napi_value text = nullptr;
  napi_valuetype t;
  if (napi_typeof(env, thrown, &t) == napi_ok && (t == napi_object || t == napi_function)) {
    napi_value stack;
    napi_valuetype st;
    if (napi_get_named_property(env, thrown, "stack", &stack) == napi_ok && napi_typeof(env, stack, &st) == napi_ok &&
        st == napi_string) {
      text = stack;
    }
    clearPending(env);  // a `stack` getter that threw
  }
  if (!text && (napi_coerce_to_string(env, thrown, &text) != napi_ok || clearPending(env))) return false;
  size_t copied = 0;
  return napi_get_value_string_utf8(env, text, out, capacity, &copied) == napi_ok;
}

// Prints the exception a call back into the host left pending, so that the check that follows
// does not hide its cause. Clears it.
void logPendingException(napi_env env) {
  bool pending = false;
  if (napi_is_exception_pending(env, &pending) != napi_ok || !pending) return;
  napi_value thrown;
  if (napi_get_and_clear_last_exception(env, &thrown) != napi_ok) return;
  // Only reached on the way to a failed check, so a static buffer serves; longer text is cut.
  static char text[THROWN_TEXT_CAPACITY];
  if (thrownText(env, thrown, text, sizeof text)) {
    logError("%s\n", text);
  } else {
    logError("(a value that cannot be converted to a string was thrown)\n");
  }
}

napi_value startTicking(napi_env env, napi_callback_info info) {
  Args<1> args(env, info, checkModule);
  napi_valuetype t;
  napi_status status = napi_typeof(env, args[0], &t);
  CHECK(status == napi_ok);
  CHECK(t == napi_function);
  napi_value global, result;
  status = napi_get_global(env, &global);
  CHECK(status == napi_ok);
  status = napi_call_function(env, global, args[0], 0, nullptr, &result);
  if (status != napi_ok) {
    logPendingException(env);
    logError("Got error calling tickFn: %u\n", static_cast<unsigned>(status));
    CHECK(status == napi_ok);
  }
  return makeInt32(env, 0, checkModule);
}

napi_value quit(napi_env env, napi_callback_info) {
  logInfo("Quitting Native\n");
  audio::closeAudio();
  gfx::closeSDL();
  text::closeFonts();
  input::closeUSB();
  return makeInt32(env, 0, checkModule);
}

// --- per-step and per-frame entries -----------------------------------------------------------

napi_value poll(napi_env env, napi_callback_info) {
  input::pumpEvents();
  input::announceAdapter();
  return makeInt32(env, 0, checkModule);
}

napi_value render(napi_env env, napi_callback_info) {
  gfx::renderFrame();
  return makeInt32(env, 0, checkModule);
}

// --- start-up ---------------------------------------------------------------------------------

uint32_t drawRand(void*) { return static_cast<uint32_t>(std::rand()) >> 16; }

#define METHOD(fn) napi_property_descriptor{#fn, nullptr, fn, nullptr, nullptr, nullptr, napi_default, nullptr}
#define VALUE(name, v) napi_property_descriptor{name, nullptr, nullptr, nullptr, nullptr, v, napi_default, nullptr}

napi_value makeConstant(napi_env env, uint32_t value) {
  napi_value result;
  napi_status status = napi_create_uint32(env, value, &result);
  CHECK(status == napi_ok);
  return result;
}

napi_value init(napi_env env, napi_value exports) {
  logInfo("Initializing Native\n");

  using audio::initALBuffer;
  using audio::loadAudio;
  using gfx::checkShaders;
  using gfx::compileShader;
  using gfx::setAntialias;
  using gfx::setBuffers;
  using gfx::setShadowQuality;
  using gfx::setSsaoQuality;
  using input::copy;
  using input::paste;
  using input::pollUSB;
  using text::measureText;
  const napi_property_descriptor properties[] = {
      METHOD(initBuffer),
      METHOD(getBuffer),
      METHOD(nextBuffer),
      METHOD(nextPool),
      METHOD(loadAudio),
      METHOD(initALBuffer),
      METHOD(compileShader),
      METHOD(checkShaders),
      METHOD(setBuffers),
      METHOD(startTicking),
      METHOD(ready),
      METHOD(poll),
      METHOD(pollUSB),
      METHOD(tick),
      METHOD(render),
      METHOD(quit),
      METHOD(copy),
      METHOD(paste),
      METHOD(measureText),
      METHOD(setShadowQuality),
      METHOD(setSsaoQuality),
      METHOD(setAntialias),
      VALUE("AL_FORMAT_MONO8", makeConstant(env, 0x1100)),
      VALUE("AL_FORMAT_MONO16", makeConstant(env, 0x1101)),
      VALUE("AL_FORMAT_STEREO8", makeConstant(env, 0x1102)),
      VALUE("AL_FORMAT_STEREO16", makeConstant(env, 0x1103)),
  };
  napi_status status = napi_define_properties(env, exports, lengthof(properties), properties);
  CHECK(status == napi_ok && "Error exporting");
  defineExtensions(env, exports);

  std::srand(static_cast<unsigned>(std::time(nullptr)));
  seedRandomState(randomState, drawRand, nullptr);

  const int audioResult = audio::initAudio();
  if (audioResult != 0) {
    logError("Error initializing OpenAL: %s\n", audio::initAudioErrorText(audioResult));
  } else {
    logInfo("OpenAL initialized OK\n");
  }

  text::openFonts();

  if (gfx::initSDL()) {
    gfx::initWindow();
    gfx::startGL();
  }

  input::initUSB();
  return exports;
}

#undef METHOD
#undef VALUE

// --- registration -----------------------------------------------------------------------------

napi_module moduleRecord = {1, 0, __FILE__, init, "tessimarke", nullptr, {nullptr, nullptr, nullptr, nullptr}};

__attribute__((constructor)) void registerModule() { napi_module_register(&moduleRecord); }
}  // namespace
}  // namespace tsm::bridge
