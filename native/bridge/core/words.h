// Conversions of the host's 64-bit float words (command operands) to native integers and floats.
// They follow the x86 truncating conversions, so every word has a defined result.
#pragma once
#include <cstdint>

namespace tsm::bridge {
// Truncation toward zero; NaN and values outside the int32 range give INT32_MIN.
int32_t wordToInt(double word);
// Truncation toward zero to int64 (NaN and out of range give INT64_MIN).
int64_t wordToInt64(double word);
// Truncation to int64, then the low 32 bits read unsigned.
uint32_t wordToLowU32(double word);
// Rounding to the nearest 32-bit float.
float wordToFloat(double word);
}  // namespace tsm::bridge
