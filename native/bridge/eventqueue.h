// The event queue in EVENT_BUFFER: producers open a writer at the current fill offset, append
// records through it, and store the offset back once. The host reads and resets the offset.
#pragma once
#include "bridge/core/eventrecords.h"

namespace tsm::bridge {
// A writer at lenBuffer(EVENT_BUFFER) over the event block (empty when the block does not exist).
EventWriter openEventQueue();
// Stores the writer's offset into lenBuffer(EVENT_BUFFER).
void closeEventQueue(const EventWriter& writer);
}  // namespace tsm::bridge
