// Event records: packed little-endian records appended to the event block, 16-bit type first, no
// padding and no length field (each type has its size). One writer, used by every producer, so
// the bounds rule lives in one place: a record that does not fit in the rest of the block is
// dropped whole and the records already queued are kept.
#pragma once
#include <cstddef>
#include <cstdint>

#include "contract.h"

namespace tsm::bridge {
// Record types and sizes come from the host contract.
using contract::EventType;
using enum contract::EventType;

// Window event kind carried by every window-size record.
constexpr uint8_t WINDOW_EVENT_SIZE_CHANGED = 6;
// Most text bytes one text-input record carries.
constexpr size_t MAX_TEXT_INPUT_BYTES = contract::MAX_TEXT_INPUT_TEXT_BYTES;

// Controller axis value scaled to -1.0..1.0: by 32767 when positive or zero, by 32768 when negative.
float controllerAxisValue(int16_t value);

// Appends records at `offset` within a block of `capacity` bytes; the caller stores `offset` back.
struct EventWriter {
  uint8_t* base;
  uint64_t capacity;
  uint32_t offset;

  // Appends one encoded record; false (and nothing written) when it does not fit.
  bool append(const uint8_t* record, size_t size);

  bool quit();
  bool windowSize(int32_t width, int32_t height);
  // type: EVENT_KEY_DOWN or EVENT_KEY_UP; the scancode keeps its low 16 bits.
  bool key(uint16_t type, uint32_t scancode, int32_t keycode, uint16_t modifiers, uint8_t repeat);
  // Text up to its terminator, at most MAX_TEXT_INPUT_BYTES bytes.
  bool textInput(const char* text);
  bool mouseMotion(int32_t x, int32_t y);
  // type: EVENT_MOUSE_BUTTON_DOWN or EVENT_MOUSE_BUTTON_UP.
  bool mouseButton(uint16_t type, int32_t x, int32_t y, uint8_t button);
  // Wheel steps (x right, y away from the user), the same as floats with fractions where the device
  // has them, and 1 when the system flips the direction.
  bool mouseWheel(int32_t x, int32_t y, float preciseX, float preciseY, uint8_t flipped);
  bool controllerAxis(int32_t instanceId, uint8_t axis, int16_t value);
  // type: EVENT_CONTROLLER_BUTTON_DOWN or EVENT_CONTROLLER_BUTTON_UP.
  bool controllerButton(uint16_t type, int32_t instanceId, uint8_t button, uint8_t state);
  // type: EVENT_CONTROLLER_ADDED or EVENT_CONTROLLER_REMOVED.
  bool controllerDevice(uint16_t type, int32_t instanceId);
  bool adapterConnected();
};
}  // namespace tsm::bridge
