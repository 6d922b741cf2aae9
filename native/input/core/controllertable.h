// Growth rule of the game-controller table, which is indexed by joystick instance id. Pure; used by
// the SDL event pump when a controller with an id beyond the table is opened.
#pragma once
#include <cstdint>

namespace tsm::input {
// Slot count that covers instance id `id` (id >= 0), grown from `capacity` by doubling: start from
// `capacity` (1 when the table does not exist yet, capacity <= 0) and double until it exceeds `id`.
// Returns `capacity` unchanged when it already covers `id`. 64-bit, so no id overflows it.
int64_t grownControllerCapacity(int64_t capacity, int32_t id);
}  // namespace tsm::input
