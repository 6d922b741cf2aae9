// Conversions of host-written floats to native integers and floats. The command operands follow the
// x86 truncating conversions; every other host float that becomes an integer (the viewportSize
// pair, for one) goes through saturateToInt32. Every input has a defined result.
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
// Truncation toward zero, saturating: values past either end of the int32 range (infinities
// included) give that end, NaN gives 0.
int32_t saturateToInt32(double value);
}  // namespace tsm::bridge
