// Seeding of the random state. See random.h.
#include "base/random.h"

namespace tsm {
uint32_t randomState[4] = {0, 0, 0, 0};

void seedRandomState(uint32_t state[4], Draw15 draw, void* context) {
  for (uint32_t k = 0; k < 128; ++k) {
    const uint32_t value = draw(context) & 0x7FFF;
    if (value < 16383) state[k / 32] |= 1u << (k % 32);
  }
}

uint32_t nextRandom(uint32_t state[4]) {
  uint32_t t = state[3] ^ (state[3] << 11);
  state[3] = state[2];
  state[2] = state[1];
  state[1] = state[0];
  state[0] = state[0] ^ (state[0] >> 19) ^ t ^ (t >> 8);
  return state[0];
}

float nextUnit(uint32_t state[4]) { return static_cast<float>(nextRandom(state)) * 2.3283064e-10f; }
}  // namespace tsm
