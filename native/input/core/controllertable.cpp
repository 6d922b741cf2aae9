// Controller table growth. See controllertable.h.
#include "input/core/controllertable.h"

namespace tsm::input {
int64_t grownControllerCapacity(int64_t capacity, int32_t id) {
  if (id < capacity) return capacity;
  int64_t grown = capacity > 0 ? capacity : 1;
  while (grown <= id) grown *= 2;
  return grown;
}
}  // namespace tsm::input
