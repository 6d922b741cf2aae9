// Module entry: registration with the host, the one export table (every host function of every
// subsystem, each defined in its subsystem's api file, and the constants), start-up of every
// subsystem inside the registration callback, and the lifecycle calls `ready`, `startTicking`,
// `quit`, plus the per-step `poll` and per-frame `render` entries. Subsystems keep their own state;
// this file only orders them. Start-up keeps no record of what came up: later calls rely on the
// host's ordering.
//
// Sections: lifecycle | per-step and per-frame entries | export table | start-up | registration
#include <node_api.h>

#include <cstdlib>
#include <ctime>

#include "audio/audio.h"
#include "audio/audioapi.h"
#include "base/check.h"
#include "base/log.h"
#include "base/random.h"
#include "bridge/args.h"
#include "bridge/buffers.h"
#include "bridge/commands.h"
#include "contract.h"
#include "gfx/gfxapi.h"
#include "gfx/meshapi.h"
#include "gfx/meshes.h"
#include "gfx/renderer.h"
#include "gfx/window.h"
#include "input/events.h"
#include "input/inputapi.h"
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
  expectFunction(env, args[0], checkModule);
  napi_value global, result;
  napi_status status = napi_get_global(env, &global);
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
  // The vertices drawMeshes appended since the tick are drawn; the host's lengths come back after.
  gfx::beginMeshFrame();
  gfx::renderFrame();
  gfx::endMeshFrame();
  return makeInt32(env, 0, checkModule);
}

// --- export table -----------------------------------------------------------------------------

// One export: a host function, or a constant (method null) of the base contract.
struct Export {
  const char* name;
  napi_callback method;
  int32_t constant;
  bool extension;
};

#define HOST(ns, fn) Export{#fn, ns::fn, 0, false}
#define CONSTANT(name, value) Export{name, nullptr, value, false}
#define EXTENSION(ns, fn) Export{#fn, ns::fn, 0, true}
#define EXTENSION_AS(name, ns, fn) Export{name, ns::fn, 0, true}

// Every export, in registration order. The base contract's are the module's own properties.
// Extension exports sit on the exports object's prototype instead: `addon.name` and destructuring
// reach them, while the module's own properties stay exactly the base contract's.
constexpr Export EXPORTS[] = {
    HOST(bridge, initBuffer),
    HOST(bridge, getBuffer),
    HOST(bridge, nextBuffer),
    HOST(bridge, nextPool),
    HOST(audio, loadAudio),
    HOST(audio, initALBuffer),
    HOST(gfx, compileShader),
    HOST(gfx, checkShaders),
    HOST(gfx, setBuffers),
    HOST(bridge, startTicking),
    HOST(bridge, ready),
    HOST(bridge, poll),
    HOST(input, pollUSB),
    HOST(bridge, tick),
    HOST(bridge, render),
    HOST(bridge, quit),
    HOST(input, copy),
    HOST(input, paste),
    HOST(text, measureText),
    HOST(gfx, setShadowQuality),
    HOST(gfx, setSsaoQuality),
    HOST(gfx, setAntialias),
    CONSTANT("AL_FORMAT_MONO8", 0x1100),
    CONSTANT("AL_FORMAT_MONO16", 0x1101),
    CONSTANT("AL_FORMAT_STEREO8", 0x1102),
    CONSTANT("AL_FORMAT_STEREO16", 0x1103),
    EXTENSION(gfx, setWindowTitle),
    EXTENSION(gfx, setWindowSize),
    EXTENSION(gfx, setRenderScale),
    EXTENSION(input, enableEvent),
    EXTENSION(audio, playMusic),
    EXTENSION(audio, stopMusic),
    EXTENSION(gfx, loadImage),
    EXTENSION(gfx, setImage),
    EXTENSION_AS("createMesh", gfx, createMeshApi),
    EXTENSION_AS("releaseMesh", gfx, releaseMeshApi),
    EXTENSION(gfx, screenshot),
    EXTENSION(gfx, screenshotStatus),
};

#undef HOST
#undef CONSTANT
#undef EXTENSION
#undef EXTENSION_AS

// Exports of the base contract: the module's own properties.
constexpr uint32_t BASE_EXPORT_COUNT = 26;

constexpr uint32_t countExports(bool extension) {
  uint32_t n = 0;
  for (const Export& e : EXPORTS) n += e.extension == extension ? 1 : 0;
  return n;
}

constexpr bool sameName(const char* a, const char* b) {
  while (*a && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

// The extension entries name, in order, the extension exports of the contract (contract/host.js).
constexpr bool extensionsMatchContract() {
  uint32_t next = 0;
  for (const Export& e : EXPORTS) {
    if (!e.extension) continue;
    if (next == contract::EXTENSION_COUNT || !sameName(e.name, contract::EXTENSION_NAMES[next])) return false;
    ++next;
  }
  return next == contract::EXTENSION_COUNT;
}

static_assert(countExports(false) == BASE_EXPORT_COUNT, "the module's own properties are the base contract's");
static_assert(extensionsMatchContract(), "extension entries differ from contract::EXTENSION_NAMES");

napi_property_descriptor describe(napi_env env, const Export& e) {
  napi_value value = e.method ? nullptr : makeInt32(env, e.constant, CHECK_TEXT(status == napi_ok), checkModule);
  return {e.name, nullptr, e.method, nullptr, nullptr, value, napi_default, nullptr};
}

// Puts the base exports on `exports` and the extensions on a prototype given to it.
void defineExports(napi_env env, napi_value exports) {
  napi_property_descriptor base[BASE_EXPORT_COUNT];
  napi_property_descriptor extensions[contract::EXTENSION_COUNT];
  uint32_t baseCount = 0, extensionCount = 0;
  for (const Export& e : EXPORTS) {
    if (e.extension) {
      extensions[extensionCount++] = describe(env, e);
    } else {
      base[baseCount++] = describe(env, e);
    }
  }
  napi_status status = napi_define_properties(env, exports, baseCount, base);
  CHECK(status == napi_ok && "Error exporting");

  napi_value prototype;
  status = napi_create_object(env, &prototype);
  CHECK(status == napi_ok);
  status = napi_define_properties(env, prototype, extensionCount, extensions);
  CHECK(status == napi_ok && "Error exporting");
  napi_value global, object, setPrototypeOf, result;
  status = napi_get_global(env, &global);
  CHECK(status == napi_ok);
  status = napi_get_named_property(env, global, "Object", &object);
  CHECK(status == napi_ok);
  status = napi_get_named_property(env, object, "setPrototypeOf", &setPrototypeOf);
  CHECK(status == napi_ok);
  napi_value argv[2] = {exports, prototype};
  status = napi_call_function(env, object, setPrototypeOf, 2, argv, &result);
  CHECK(status == napi_ok);
}

// --- start-up ---------------------------------------------------------------------------------

uint32_t drawRand(void*) { return static_cast<uint32_t>(std::rand()) >> 16; }

napi_value init(napi_env env, napi_value exports) {
  logInfo("Initializing Native\n");
  defineExports(env, exports);

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

// --- registration -----------------------------------------------------------------------------

napi_module moduleRecord = {1, 0, __FILE__, init, "tessimarke", nullptr, {nullptr, nullptr, nullptr, nullptr}};

__attribute__((constructor)) void registerModule() { napi_module_register(&moduleRecord); }
}  // namespace
}  // namespace tsm::bridge
