// Drives the real SDL event pump with SDL virtual joysticks (there is no /dev/uinput to make real
// ones), standing in for the host that owns the event block the pump writes into. Each step prints
// "@step NAME", the pump's own log lines, then "@records HEX" (the bytes it queued in that step).
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "bridge/eventqueue.h"
#include "gfx/window.h"
#include "input/events.h"

namespace {
constexpr uint32_t EVENT_BLOCK_BYTES = 4096;  // room for every record one step queues
uint8_t eventBlock[EVENT_BLOCK_BYTES];
uint32_t eventLength = 0;
}  // namespace

tsm::bridge::EventWriter tsm::bridge::openEventQueue() { return EventWriter{eventBlock, EVENT_BLOCK_BYTES, eventLength}; }
void tsm::bridge::closeEventQueue(const EventWriter& writer) { eventLength = writer.offset; }
void tsm::gfx::resize() {}

namespace {
void fail(const char* what) {
  std::printf("@error %s: %s\n", what, SDL_GetError());
  std::exit(1);
}

// Pumps until SDL's queue is quiet, then prints what was queued and empties the block.
void pump(const char* step) {
  std::printf("@step %s\n", step);
  std::fflush(stdout);
  for (int i = 0; i < 5; ++i) tsm::input::pumpEvents(), SDL_Delay(2);
  std::printf("@records ");
  for (uint32_t i = 0; i < eventLength; ++i) std::printf("%02x", eventBlock[i]);
  std::printf("\n");
  eventLength = 0;
}

// Attaches a virtual joystick; returns its device index.
int attach(SDL_JoystickType type, const char* name) {
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = static_cast<Uint16>(type);
  desc.naxes = SDL_CONTROLLER_AXIS_MAX;
  desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
  desc.name = name;
  const int index = SDL_JoystickAttachVirtualEx(&desc);
  if (index < 0) fail("attach");
  return index;
}

void detachInstance(SDL_JoystickID id) {
  int i = 0;
  while (i < SDL_NumJoysticks() && SDL_JoystickGetDeviceInstanceID(i) != id) ++i;
  if (SDL_JoystickDetachVirtual(i) != 0) fail("no device with that instance id");
}

// Attaches and detaches plain (non-controller) joysticks until the next attach gets `id`.
void skipInstanceIdsBelow(SDL_JoystickID id) {
  for (SDL_JoystickID got = -1; got + 1 < id;) {
    const int index = attach(SDL_JOYSTICK_TYPE_UNKNOWN, "Tessimarke Plain Stick");
    got = SDL_JoystickGetDeviceInstanceID(index);
    SDL_JoystickDetachVirtual(index);
    pump("plain stick attached and detached");
  }
}

// Queues controller device events as SDL would send them, then pumps.
void pushDeviceEvents(const char* step, Uint32 type, std::initializer_list<Sint32> ids, Uint32 lastType = 0) {
  size_t n = 0;
  for (const Sint32 which : ids) {
    SDL_Event e{};
    e.type = ++n == ids.size() && lastType ? lastType : type;
    e.cdevice.which = which;
    SDL_PushEvent(&e);
  }
  pump(step);
}
}  // namespace

int main() {
  if (SDL_Init(SDL_INIT_GAMECONTROLLER | SDL_INIT_EVENTS) != 0) fail("SDL_Init");
  pump("start");
  // Instance ids 0..2 go to plain sticks: their removal names ids no controller holds.
  skipInstanceIdsBelow(3);
  const int firstIndex = attach(SDL_JOYSTICK_TYPE_GAMECONTROLLER, "Tessimarke Pad A");
  std::printf("@attached index %d instance %d\n", firstIndex, static_cast<int>(SDL_JoystickGetDeviceInstanceID(firstIndex)));
  pump("controller A added");
  SDL_Joystick* a = SDL_JoystickFromInstanceID(3);
  if (!a) fail("controller A not open");
  for (const Sint16 value : {-32768, 0, 32767}) {
    SDL_JoystickSetVirtualAxis(a, SDL_CONTROLLER_AXIS_LEFTX, value);
    pump(value < 0 ? "axis -32768" : value ? "axis 32767" : "axis 0");
  }
  for (const Uint8 pressed : {1, 0}) {
    SDL_JoystickSetVirtualButton(a, SDL_CONTROLLER_BUTTON_A, pressed);
    pump(pressed ? "button pressed" : "button released");
  }
  // SDL 2.26 makes a virtual pad's mapping on the fly and never matches a mapping added for its GUID
  // to it, so no remap comes from SDL itself here.
  pushDeviceEvents("remapped", SDL_CONTROLLERDEVICEREMAPPED, {3});
  // Ids with no open controller: inside the table (2), past its end (1000), negative (-7); then a
  // remap of 1000.
  pushDeviceEvents("unknown ids", SDL_CONTROLLERDEVICEREMOVED, {2, 1000, -7, 1000}, SDL_CONTROLLERDEVICEREMAPPED);
  // A device index with no device behind it: the open fails.
  pushDeviceEvents("failed open", SDL_CONTROLLERDEVICEADDED, {42});
  skipInstanceIdsBelow(5);
  attach(SDL_JOYSTICK_TYPE_GAMECONTROLLER, "Tessimarke Pad B");
  pump("controller B added");
  for (const SDL_JoystickID id : {3, 5}) {
    detachInstance(id);
    pump(id == 3 ? "controller A removed" : "controller B removed");
  }
  SDL_Quit();
  return 0;
}
