// Event record encoding. See eventrecords.h.
#include "bridge/core/eventrecords.h"

#include <cstring>

namespace tsm::bridge {
namespace {
// Little-endian field writer over a small stack record.
struct Record {
  uint8_t bytes[3 + MAX_TEXT_INPUT_BYTES];
  size_t size = 0;

  Record& u8(uint8_t v) {
    bytes[size++] = v;
    return *this;
  }
  Record& u16(uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
  Record& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Record& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
  Record& f32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return u32(bits);
  }
};

Record start(uint16_t type) {
  Record r;
  r.u16(type);
  return r;
}
}  // namespace

float controllerAxisValue(int16_t value) {
  return value >= 0 ? static_cast<float>(value) / 32767.0f : static_cast<float>(value) / 32768.0f;
}

bool EventWriter::append(const uint8_t* record, size_t size) {
  if (!base || offset > capacity || size > capacity - offset) return false;
  std::memcpy(base + offset, record, size);
  offset += static_cast<uint32_t>(size);
  return true;
}

bool EventWriter::quit() {
  Record r = start(EVENT_QUIT);
  return append(r.bytes, r.size);
}

bool EventWriter::windowSize(int32_t width, int32_t height) {
  Record r = start(EVENT_WINDOW_SIZE);
  r.u8(WINDOW_EVENT_SIZE_CHANGED).i32(width).i32(height);
  return append(r.bytes, r.size);
}

bool EventWriter::key(uint16_t type, uint32_t scancode, int32_t keycode, uint16_t modifiers, uint8_t repeat) {
  Record r = start(type);
  r.u16(static_cast<uint16_t>(scancode)).i32(keycode).u16(modifiers).u8(repeat);
  return append(r.bytes, r.size);
}

bool EventWriter::textInput(const char* text) {
  size_t n = 0;
  while (n < MAX_TEXT_INPUT_BYTES && text[n] != '\0') ++n;
  Record r = start(EVENT_TEXT_INPUT);
  r.u8(static_cast<uint8_t>(n));
  std::memcpy(r.bytes + r.size, text, n);
  r.size += n;
  return append(r.bytes, r.size);
}

bool EventWriter::mouseMotion(int32_t x, int32_t y) {
  Record r = start(EVENT_MOUSE_MOTION);
  r.i32(x).i32(y);
  return append(r.bytes, r.size);
}

bool EventWriter::mouseButton(uint16_t type, int32_t x, int32_t y, uint8_t button) {
  Record r = start(type);
  r.i32(x).i32(y).u8(button);
  return append(r.bytes, r.size);
}

bool EventWriter::mouseWheel(int32_t x, int32_t y, float preciseX, float preciseY, uint8_t flipped) {
  Record r = start(EVENT_MOUSE_WHEEL);
  r.i32(x).i32(y).f32(preciseX).f32(preciseY).u8(flipped);
  return append(r.bytes, r.size);
}

bool EventWriter::controllerAxis(int32_t instanceId, uint8_t axis, int16_t value) {
  Record r = start(EVENT_CONTROLLER_AXIS);
  r.i32(instanceId).u8(axis).f32(controllerAxisValue(value));
  return append(r.bytes, r.size);
}

bool EventWriter::controllerButton(uint16_t type, int32_t instanceId, uint8_t button, uint8_t state) {
  Record r = start(type);
  r.i32(instanceId).u8(button).u8(state);
  return append(r.bytes, r.size);
}

bool EventWriter::controllerDevice(uint16_t type, int32_t instanceId) {
  Record r = start(type);
  r.i32(instanceId);
  return append(r.bytes, r.size);
}

bool EventWriter::adapterConnected() {
  Record r = start(EVENT_ADAPTER_CONNECTED);
  r.u16(0).u32(6);
  return append(r.bytes, r.size);
}
}  // namespace tsm::bridge
