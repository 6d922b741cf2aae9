// Conversions of the host's 64-bit float words to native integers and floats. The command operands
// follow the x86 truncating conversions; every other host float that becomes an integer (the
// viewportSize pair, for one) goes through saturateToInt32. Every input has a defined result.
// Inline: the command stream converts every operand it runs.
#pragma once
#include <cstdint>
#include <limits>

namespace tsm {
// Truncation toward zero; NaN and values outside the int32 range give INT32_MIN.
inline int32_t wordToInt(double word) {
  // The comparison is false for NaN, so NaN takes the out-of-range path.
  if (word > -2147483649.0 && word < 2147483648.0) return static_cast<int32_t>(word);
  return std::numeric_limits<int32_t>::min();
}

// Truncation toward zero to int64 (NaN and out of range give INT64_MIN).
inline int64_t wordToInt64(double word) {
  // 2^63 is exactly representable; every double below it truncates into range.
  if (word >= -9223372036854775808.0 && word < 9223372036854775808.0) return static_cast<int64_t>(word);
  return std::numeric_limits<int64_t>::min();
}

// Truncation to int64, then the low 32 bits read unsigned.
inline uint32_t wordToLowU32(double word) { return static_cast<uint32_t>(static_cast<uint64_t>(wordToInt64(word))); }

// Rounding to the nearest 32-bit float.
inline float wordToFloat(double word) { return static_cast<float>(word); }

// Truncation toward zero, saturating: values past either end of the int32 range (infinities
// included) give that end, NaN gives 0.
inline int32_t saturateToInt32(double value) {
  if (value != value) return 0;
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}
}  // namespace tsm
