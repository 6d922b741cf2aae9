// The window and its GL context. Owns SDL's start-up and end, the one window, its GL context, the
// display-mode bookkeeping of fullscreen switching, the drawable size (viewportSize / renderSize)
// and the two data symbols hybrid-graphics drivers read. It does not own the render targets or
// uniform sets a resize must update: it calls the renderer's resize hooks for those.
// Callers: module start-up (initSDL, initWindow, startGL), quit (closeSDL), command 8
// (toggleFullscreen), the event pump and initGFX (resize), setBuffers (moveViewportSize).
//
// Sections: exported symbols | state | drawable size | SDL start-up | window | DPI awareness |
//           GL start-up | fullscreen | resize
#include "gfx/window.h"

#include <GL/glew.h>
#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bridge/assetpaths.h"
#include "bridge/buffers.h"
#include "base/check.h"
#include "base/log.h"
#include "base/words.h"
#include "gfx/gldebug.h"
#include "gfx/renderer.h"
#include "gfx/windowcontrol.h"

// --- exported symbols ---------------------------------------------------------------------------
// Hybrid-graphics drivers look these up by name in the process image and pick the discrete GPU
// when they read 1. They must stay in the dynamic symbol table despite the hidden default visibility.
extern "C" {
__attribute__((visibility("default"), used)) int32_t NvOptimusEnablement = 1;
__attribute__((visibility("default"), used)) int32_t AmdPowerXpressRequestHighPerformance = 1;
}

namespace tsm::gfx {
namespace {
constexpr const char* checkModule = "gfx";

// Subsystems started at module start-up: timer, video, game controller and events.
constexpr Uint32 SDL_SUBSYSTEMS = SDL_INIT_TIMER | SDL_INIT_VIDEO | SDL_INIT_GAMECONTROLLER | SDL_INIT_EVENTS;
static_assert(SDL_SUBSYSTEMS == 0x6021);

constexpr const char* WINDOW_TITLE = "Tessimarke";
// Relative to the package root: looked for in the working directory, then in the addon's package.
constexpr const char* ICON_PATH = "app/icons/icon.png";
// The DPI a display factor of 1.0 stands for.
constexpr double REFERENCE_DPI = 96.0;

// --- state --------------------------------------------------------------------------------------
// Everything the window keeps between calls, in one record (renderSize, read by the renderer and
// the bufferIDs table, is the one public value).
struct WindowState {
  SDL_Window* window = nullptr;
  SDL_GLContext glContext = nullptr;
  // The window's display mode, captured at start and on each entry into fullscreen.
  SDL_DisplayMode savedWindowMode = {};
  // The window's own size when fullscreen was entered; restored on leaving. The window display mode
  // is the display's closest mode, not the window's size, so it cannot restore the window alone.
  int savedWindowWidth = INITIAL_WINDOW_WIDTH;
  int savedWindowHeight = INITIAL_WINDOW_HEIGHT;
  bool fullscreen = false;
  bool resizedOnce = false;
  bool glLoaded = false;
  bool glReleased = false;
  // The viewportSize pair's native home, always kept current, and the shared block it was moved to
  // (-1 while it lives here). Reading through the block id, not a saved pointer, means a block the
  // host has released or replaced is never touched.
  float nativeViewportSize[2] = {static_cast<float>(INITIAL_WINDOW_WIDTH), static_cast<float>(INITIAL_WINDOW_HEIGHT)};
  int64_t viewportHome = -1;
};

WindowState state;

// A shared block that can hold the pair, or null.
uint8_t* viewportBlock() {
  if (state.viewportHome < 0) return nullptr;
  const uint32_t id = static_cast<uint32_t>(state.viewportHome);
  if (bridge::blockBytes(id) < sizeof state.nativeViewportSize) return nullptr;
  return bridge::blockData(id);
}

void storeViewportSize(float width, float height) {
  state.nativeViewportSize[0] = width;
  state.nativeViewportSize[1] = height;
  if (uint8_t* block = viewportBlock()) std::memcpy(block, state.nativeViewportSize, sizeof state.nativeViewportSize);
  renderSize[0] = saturateToInt32(width);
  renderSize[1] = saturateToInt32(height);
}

// --- DPI awareness ------------------------------------------------------------------------------
// Looked up at run time so the addon links on every system; where the libraries are absent
// (anything but Windows) each branch still ends in its log line.
using SetProcessDpiAwarenessContextFn = int (*)(void* context);  // BOOL (DPI_AWARENESS_CONTEXT)
using SetProcessDpiAwarenessFn = int32_t (*)(int awareness);     // HRESULT (PROCESS_DPI_AWARENESS)
void* const DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 = reinterpret_cast<void*>(static_cast<intptr_t>(-4));
constexpr int PROCESS_PER_MONITOR_DPI_AWARE = 2;
constexpr int32_t S_OK = 0;

void makeDpiAware() {
  if (void* user32 = SDL_LoadObject("USER32.dll")) {
    auto setContext = reinterpret_cast<SetProcessDpiAwarenessContextFn>(
        SDL_LoadFunction(user32, "SetProcessDpiAwarenessContext"));
    if (setContext) {
      const int result = setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
      logInfo("Setting DPI aware (v2) %i\n", result);
      if (result != 0) return;
    }
  } else {
    logInfo("USER32.dll not found?\n");
  }

  void* shcore = SDL_LoadObject("SHCORE.dll");
  if (!shcore) {
    logInfo("SHCORE.dll not found, skipping DPI awareness\n");
    logInfo("System not DPI aware, or prior to Win 8.1\n");
    return;
  }
  auto setAwareness = reinterpret_cast<SetProcessDpiAwarenessFn>(SDL_LoadFunction(shcore, "SetProcessDpiAwareness"));
  if (!setAwareness) {
    logInfo("System not DPI aware, or prior to Win 8.1\n");
    return;
  }
  const bool ok = setAwareness(PROCESS_PER_MONITOR_DPI_AWARE) == S_OK;
  logInfo("Setting DPI aware %i\n", ok ? 1 : 0);
  if (!ok) logInfo("System not DPI aware, or prior to Win 8.1\n");
}
// --- the window a host asks for -----------------------------------------------------------------
// TESSIMARKE_WINDOW ("WIDTHxHEIGHT") and TESSIMARKE_TITLE, read as the window opens: without them the
// window opens as always. The size is shrunk to fit the display's usable area, leaving room for the
// window manager's frame and title bar.
constexpr int WINDOW_FRAME_ROOM[2] = {16, 64};

struct WindowRequest {
  int width;
  int height;
  char title[MAX_TITLE_BYTES + 1];
};

bool requestedWindow(WindowRequest* out) {
  const char* size = std::getenv("TESSIMARKE_WINDOW");
  int width = 0, height = 0;
  char end = 0;
  if (!size || std::sscanf(size, "%dx%d%c", &width, &height, &end) != 2) return false;
  if (width < 1 || height < 1 || width > MAX_WINDOW_SIDE || height > MAX_WINDOW_SIDE) return false;
  SDL_Rect usable;
  if (SDL_GetDisplayUsableBounds(0, &usable) == 0 && usable.w > WINDOW_FRAME_ROOM[0] && usable.h > WINDOW_FRAME_ROOM[1]) {
    width = std::min(width, usable.w - WINDOW_FRAME_ROOM[0]);
    height = std::min(height, usable.h - WINDOW_FRAME_ROOM[1]);
  }
  out->width = width;
  out->height = height;
  const char* title = std::getenv("TESSIMARKE_TITLE");
  if (!title || std::strlen(title) > MAX_TITLE_BYTES) title = WINDOW_TITLE;
  std::snprintf(out->title, sizeof out->title, "%s", title);
  return true;
}
}  // namespace

int32_t renderSize[2] = {INITIAL_WINDOW_WIDTH, INITIAL_WINDOW_HEIGHT};

// --- drawable size ------------------------------------------------------------------------------

float* viewportSize() {
  if (uint8_t* block = viewportBlock()) return reinterpret_cast<float*>(block);
  return state.nativeViewportSize;
}

void moveViewportSize(uint32_t id) {
  const int64_t previous = state.viewportHome;
  state.viewportHome = id;
  if (!viewportBlock()) state.viewportHome = previous;
  storeViewportSize(state.nativeViewportSize[0], state.nativeViewportSize[1]);
}

SDL_Window* mainWindow() { return state.window; }

bool glReady() { return state.glLoaded; }

bool glClosed() { return state.glReleased; }

// --- SDL start-up -------------------------------------------------------------------------------

bool initSDL() {
  if (SDL_Init(SDL_SUBSYSTEMS) != 0) {
    logError("Error initializing SDL: %s\n", SDL_GetError());
    logInfo("Error initializing SDL\n");
    return false;
  }
  logInfo("SDL2 initialized OK\n");
  return true;
}

void closeSDL() {
  logInfo("Closing SDL\n");
  // SDL_Quit closes the X display, and Mesa then tears down a context that may still have drawing
  // queued for its rasterizer threads; with llvmpipe that teardown can deadlock (a worker waits at
  // its barrier for a sibling that already left). Finishing the GL work and releasing the context
  // while the display is still open leaves no drawing in flight when SDL closes it.
  if (state.glLoaded && state.glContext) {
    glFinish();
    SDL_GL_MakeCurrent(state.window, nullptr);
    SDL_GL_DeleteContext(state.glContext);
    state.glReleased = true;
  }
  SDL_Quit();
  state.window = nullptr;
  state.glContext = nullptr;
  state.glLoaded = false;
}

// --- window -------------------------------------------------------------------------------------

void initWindow() {
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);

  SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
  // No context exists yet, so this normally reports -1; the request is kept for drivers that honour it.
  if (SDL_GL_SetSwapInterval(1) == -1) logInfo("Vsync unchanged (on start)\n");

  const Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
  WindowRequest asked;
  if (requestedWindow(&asked)) {
    // A host that named its window gets it centred and inside the display's usable area.
    storeViewportSize(static_cast<float>(asked.width), static_cast<float>(asked.height));
    state.window = SDL_CreateWindow(asked.title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, asked.width, asked.height,
                                    flags);
  } else {
    const float* size = viewportSize();
    state.window = SDL_CreateWindow(WINDOW_TITLE, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                    saturateToInt32(size[0]), saturateToInt32(size[1]), flags);
  }
  if (!state.window) logError("Error creating window: %s\n", SDL_GetError());

  makeDpiAware();

  state.glContext = SDL_GL_CreateContext(state.window);
  if (!state.glContext) logError("Error creating GL context: %s\n", SDL_GetError());

  bridge::AssetCandidates iconPlaces;
  if (SDL_Surface* icon = IMG_Load(bridge::findAsset(ICON_PATH, &iconPlaces))) {
    if (state.window) SDL_SetWindowIcon(state.window, icon);
    SDL_FreeSurface(icon);
  } else {
    logError("Error loading icon file: %s\n", SDL_GetError());
  }

  logInfo("MakeCurrent status: %s\n", SDL_GL_MakeCurrent(state.window, state.glContext) == 0 ? "OK" : "Error");

  state.savedWindowMode = {};
  SDL_GetWindowDisplayMode(state.window, &state.savedWindowMode);
  const SDL_DisplayMode& saved = state.savedWindowMode;
  logInfo("Window display mode: %ix%i %ihz\n", saved.w, saved.h, saved.refresh_rate);

  SDL_DisplayMode displayMode = {};
  SDL_GetCurrentDisplayMode(SDL_GetWindowDisplayIndex(state.window), &displayMode);
  logInfo("Display display mode: %ix%i %ihz\n", displayMode.w, displayMode.h, displayMode.refresh_rate);
}

// --- GL start-up --------------------------------------------------------------------------------

void startGL() {
  glewExperimental = GL_TRUE;
  const GLenum glewStatus = glewInit();
  if (glewStatus != GLEW_OK) {
    const char* text = reinterpret_cast<const char*>(glewGetErrorString(glewStatus));
    logError("Error initializing GLEW: %s\n", text);
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "OpenGL: Failed to initialize GLEW", text, nullptr);
    CHECK(!"Failed to initialize GLEW");
  }
  state.glLoaded = true;
  logInfo("GLEW OK; version: %s\n", reinterpret_cast<const char*>(glewGetString(GLEW_VERSION)));

  const bool gl40 = GLEW_VERSION_4_0;
  logInfo("OpenGL 4.0: %s\n", gl40 ? "OK" : "Error");
  if (!gl40) {
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "OpenGL Error", "OpenGL 4.0 support not detected.", nullptr);
  }

  GLint perShader = 0, total = 0;
  glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS, &perShader);
  glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &total);
  logInfo("Textures per shader: %i; total: %i\n", perShader, total);

  glEnable(GL_DEBUG_OUTPUT);
  // Debug output is core only from 4.3; a driver without it simply gets no callback.
  if (glDebugMessageCallback) glDebugMessageCallback(onGLDebugMessage, nullptr);

  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
}

// --- fullscreen ---------------------------------------------------------------------------------

int32_t toggleFullscreen() {
  state.fullscreen = !state.fullscreen;
  if (state.fullscreen) {
    state.savedWindowMode = {};
    SDL_GetWindowDisplayMode(state.window, &state.savedWindowMode);
    state.savedWindowWidth = renderSize[0];
    state.savedWindowHeight = renderSize[1];
    if (state.window) SDL_GetWindowSize(state.window, &state.savedWindowWidth, &state.savedWindowHeight);

    const int display = SDL_GetWindowDisplayIndex(state.window);
    SDL_DisplayMode mode = {};
    SDL_GetCurrentDisplayMode(display, &mode);
    int width = mode.w, height = mode.h;
    float diagonalDpi = 0, horizontalDpi = 0, verticalDpi = 0;
    if (SDL_GetDisplayDPI(display, &diagonalDpi, &horizontalDpi, &verticalDpi) == 0) {
      const double scaleX = horizontalDpi / REFERENCE_DPI;
      const double scaleY = verticalDpi / REFERENCE_DPI;
      width = saturateToInt32(width * scaleX);
      height = saturateToInt32(height * scaleY);
      logInfo("Scaling by DPI factors: %fx%f\n", scaleX, scaleY);
    }
    logInfo("Current display's display mode: %ix%i %ihz\n", width, height, mode.refresh_rate);

    if (state.window) SDL_SetWindowSize(state.window, width, height);
    const int32_t result = SDL_SetWindowFullscreen(state.window, SDL_WINDOW_FULLSCREEN);

    if (SDL_GL_SetSwapInterval(-1) != -1) {
      logInfo("Adaptive vsync enabled\n");
    } else {
      logInfo("Adaptive vsync unsupported\n");
      if (SDL_GL_SetSwapInterval(0) == -1) {
        logInfo("Unable to disable vscync\n");
      } else {
        logInfo("Vsync disabled\n");
      }
    }
    return result;
  }

  const int32_t result = SDL_SetWindowFullscreen(state.window, 0);
  const SDL_DisplayMode& saved = state.savedWindowMode;
  logInfo("Old window display mode: %ix%i %ihz\n", saved.w, saved.h, saved.refresh_rate);
  SDL_DisplayMode current = {};
  SDL_GetWindowDisplayMode(state.window, &current);
  logInfo("Fullscreen display mode: %ix%i %ihz\n", current.w, current.h, current.refresh_rate);
  if (state.window) SDL_SetWindowSize(state.window, state.savedWindowWidth, state.savedWindowHeight);
  return result;
}

// --- resize -------------------------------------------------------------------------------------

void resize() {
  int width = renderSize[0], height = renderSize[1];
  if (state.window) SDL_GL_GetDrawableSize(state.window, &width, &height);
  storeViewportSize(static_cast<float>(width), static_cast<float>(height));
  // The first call comes from initGFX before any target exists: it only records the size.
  if (!state.resizedOnce) {
    state.resizedOnce = true;
    return;
  }
  logInfo("resized %ix%i\n", width, height);
  resendViewportSize();
  reallocateScreenTextures();
}
}  // namespace tsm::gfx
