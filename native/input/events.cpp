// The SDL event pump. Owns the game-controller table; turns the SDL events the host cares about
// into event records through the one event writer, calls the window's resize after a size change,
// logs the event types it does not translate and drops the rest. It does not own the queue's
// offset (bridge/eventqueue) nor the USB adapter's announcement (run by `poll` after the pump).
// Caller: `poll`, once per simulation step, on the thread that initialised SDL.
//
// Sections: controller table | event handling | pump
#include "input/events.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include "base/check.h"
#include "base/log.h"
#include "bridge/eventqueue.h"
#include "gfx/window.h"
#include "input/core/controllertable.h"

namespace tsm::input {
namespace {
constexpr const char* checkModule = "gfx";

// Name logged for an instance id that has no open controller (a plain joystick, or a device that
// failed to open, is reported removed all the same).
constexpr const char* NOT_OPEN_NAME = "(not open)";
// Name logged for an open controller SDL has no name for.
constexpr const char* UNNAMED = "(unnamed)";

// Opt-in records: off until the host asks, because hosts size records by type and would lose their
// place on one they do not know.
bool wheelRecords = false;

// --- controller table ---------------------------------------------------------------------------
// Open controllers indexed by joystick instance id; null slots are empty. Grows by doubling to
// cover the highest id seen; never shrinks.
SDL_GameController** controllers = nullptr;
int32_t controllerCapacity = 0;

SDL_GameController* controllerAt(int32_t id) {
  return id >= 0 && id < controllerCapacity ? controllers[id] : nullptr;
}

const char* controllerName(SDL_GameController* controller) {
  const char* name = SDL_GameControllerName(controller);
  return name ? name : UNNAMED;
}

void growControllers(int32_t id) {
  const int64_t capacity = grownControllerCapacity(controllerCapacity, id);
  if (capacity == controllerCapacity) return;
  controllers = static_cast<SDL_GameController**>(
      std::realloc(controllers, static_cast<size_t>(capacity) * sizeof(SDL_GameController*)));
  CHECK(controllers && "Failed to allocate memory for controllers");
  for (int64_t slot = controllerCapacity; slot < capacity; ++slot) controllers[slot] = nullptr;
  controllerCapacity = static_cast<int32_t>(capacity);
}

// SDL_CONTROLLERDEVICEADDED: `deviceIndex` is a device index, not an instance id.
void openController(int32_t deviceIndex, bridge::EventWriter& w) {
  SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
  if (!controller) {
    // Reported with SDL's error from the open itself, before any further call replaces it.
    logError("Unable to open GameController %i: %s\n", -1, SDL_GetError());
    return;
  }
  const SDL_JoystickID id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
  if (id < 0) {
    logError("Unable to open GameController %i: %s\n", static_cast<int>(id), SDL_GetError());
    SDL_GameControllerClose(controller);
    return;
  }
  growControllers(id);
  logInfo("Opened GameController %i: %s\n", static_cast<int>(id), controllerName(controller));
  controllers[id] = controller;
  w.controllerDevice(bridge::EVENT_CONTROLLER_ADDED, id);
}

// SDL_CONTROLLERDEVICEREMOVED: `id` is an instance id. SDL sends it for every joystick removed,
// controller or not; an id with no open controller closes nothing and queues nothing.
void closeController(int32_t id, bridge::EventWriter& w) {
  SDL_GameController* controller = controllerAt(id);
  if (!controller) {
    logInfo("Removed GameController %i: %s\n", static_cast<int>(id), NOT_OPEN_NAME);
    return;
  }
  logInfo("Removed GameController %i: %s\n", static_cast<int>(id), controllerName(controller));
  SDL_GameControllerClose(controller);
  controllers[id] = nullptr;
  w.controllerDevice(bridge::EVENT_CONTROLLER_REMOVED, id);
}

// --- event handling -----------------------------------------------------------------------------

void handleEvent(const SDL_Event& e, bridge::EventWriter& w) {
  switch (e.type) {
    case SDL_QUIT: w.quit(); break;
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
        w.windowSize(e.window.data1, e.window.data2);
        gfx::resize();
      }
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      w.key(static_cast<uint16_t>(e.type), static_cast<uint32_t>(e.key.keysym.scancode), e.key.keysym.sym,
            e.key.keysym.mod, e.key.repeat);
      break;
    case SDL_TEXTINPUT: w.textInput(e.text.text); break;
    case SDL_MOUSEMOTION: w.mouseMotion(e.motion.x, e.motion.y); break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      w.mouseButton(static_cast<uint16_t>(e.type), e.button.x, e.button.y, e.button.button);
      break;
    // Controllers are read through their game-controller events.
    case SDL_JOYAXISMOTION:
    case SDL_JOYHATMOTION:
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP: break;
    case SDL_CONTROLLERAXISMOTION: w.controllerAxis(e.caxis.which, e.caxis.axis, e.caxis.value); break;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
      w.controllerButton(static_cast<uint16_t>(e.type), e.cbutton.which, e.cbutton.button, e.cbutton.state);
      break;
    case SDL_CONTROLLERDEVICEADDED: openController(e.cdevice.which, w); break;
    case SDL_CONTROLLERDEVICEREMOVED: closeController(e.cdevice.which, w); break;
    case SDL_CONTROLLERDEVICEREMAPPED: {
      SDL_GameController* controller = controllerAt(e.cdevice.which);
      logInfo("Remapped GameController %i: %s\n", static_cast<int>(e.cdevice.which),
              controller ? controllerName(controller) : NOT_OPEN_NAME);
      break;
    }
    case SDL_MOUSEWHEEL:
      if (wheelRecords) {
        w.mouseWheel(e.wheel.x, e.wheel.y, e.wheel.preciseX, e.wheel.preciseY,
                     e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? 1 : 0);
      } else {
        logInfo("got other SDL event: %i\n", static_cast<int>(e.type));
      }
      break;
    default: logInfo("got other SDL event: %i\n", static_cast<int>(e.type)); break;
  }
}
}  // namespace

// --- pump ---------------------------------------------------------------------------------------

void pumpEvents() {
  bridge::EventWriter w = bridge::openEventQueue();
  SDL_Event e;
  while (SDL_PollEvent(&e)) handleEvent(e, w);
  bridge::closeEventQueue(w);
}

int32_t enableRecord(uint16_t type, bool on) {
  if (type != bridge::EVENT_MOUSE_WHEEL) return 0;
  wheelRecords = on;
  return 1;
}
}  // namespace tsm::input
