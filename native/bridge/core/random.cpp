// Seeding of the random state. See random.h.
#include "bridge/core/random.h"

namespace tsm {
uint32_t randomState[4] = {0, 0, 0, 0};

void seedRandomState(uint32_t state[4], Draw15 draw, void* context) {
  for (uint32_t k = 0; k < 128; ++k) {
    const uint32_t value = draw(context) & 0x7FFF;
    if (value < 16383) state[k / 32] |= 1u << (k % 32);
  }
}
}  // namespace tsm
