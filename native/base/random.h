// The system's own 128-bit xorshift generator and its state. The state is zero at load and seeded
// once at start-up; the sampling kernels advance it while the graphics are built. Nothing else
// reads or writes it.
#pragma once
#include <cstdint>

namespace tsm {
extern uint32_t randomState[4];

// Draws a value of the 15-bit range 0..32767.
using Draw15 = uint32_t (*)(void* context);

// For each bit k of 0..127, draws one value and sets bit k (bit k % 32 of word k / 32) when the value
// is below 16383. Bits are OR-ed into `state`. Draws wider than 15 bits are reduced to 15 bits first.
void seedRandomState(uint32_t state[4], Draw15 draw, void* context);

// One step of xorshift128 (shifts 11, 8, 19; word 3 oldest, word 0 newest); returns the new word 0.
uint32_t nextRandom(uint32_t state[4]);
// The step's unit value: the step converted to float, times 2^-32 in single precision; 0 to 1.0 inclusive.
float nextUnit(uint32_t state[4]);
}  // namespace tsm
