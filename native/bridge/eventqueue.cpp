// The event queue's home in the shared blocks. See eventqueue.h.
#include "bridge/eventqueue.h"

#include "bridge/buffers.h"

namespace tsm::bridge {
EventWriter openEventQueue() {
  return EventWriter{blockData(EVENT_BUFFER), blockBytes(EVENT_BUFFER), lenBuffer(EVENT_BUFFER)};
}

void closeEventQueue(const EventWriter& writer) { setLenBuffer(EVENT_BUFFER, writer.offset); }
}  // namespace tsm::bridge
