// The SDL event pump: input, window and controller events into event records.
#pragma once

namespace tsm::input {
// Drains SDL's queue into EVENT_BUFFER (run by `poll`).
void pumpEvents();
}  // namespace tsm::input
