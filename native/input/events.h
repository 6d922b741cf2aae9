// The SDL event pump: input, window and controller events into event records, and the table of
// open game controllers indexed by joystick instance id.
#pragma once
#include <cstdint>

namespace tsm::input {
// Drains SDL's queue into EVENT_BUFFER (run by `poll`). Records that do not fit are dropped; the
// events behind them are still handled (controllers opened and closed, the window resized).
void pumpEvents();

// Turns an opt-in record type on or off (today only the mouse wheel, 1027; while off its events keep
// their log line). 1 when `type` is an opt-in type, else 0 and nothing changes.
int32_t enableRecord(uint16_t type, bool on);
}  // namespace tsm::input
