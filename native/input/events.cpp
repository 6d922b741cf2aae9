// Placeholder event pump: no SDL, so no events.
#include "input/events.h"

namespace tsm::input {
void pumpEvents() {}
}  // namespace tsm::input
