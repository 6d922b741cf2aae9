// Command word conversions. Pure; see words.h.
#include "bridge/core/words.h"

#include <cmath>
#include <limits>

namespace tsm::bridge {
int32_t wordToInt(double word) {
  // The comparison is false for NaN, so NaN takes the out-of-range path.
  if (word > -2147483649.0 && word < 2147483648.0) return static_cast<int32_t>(word);
  return std::numeric_limits<int32_t>::min();
}

int64_t wordToInt64(double word) {
  // 2^63 is exactly representable; every double below it truncates into range.
  if (word >= -9223372036854775808.0 && word < 9223372036854775808.0) return static_cast<int64_t>(word);
  return std::numeric_limits<int64_t>::min();
}

uint32_t wordToLowU32(double word) { return static_cast<uint32_t>(static_cast<uint64_t>(wordToInt64(word))); }

float wordToFloat(double word) { return static_cast<float>(word); }

int32_t saturateToInt32(double value) {
  if (value != value) return 0;
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}
}  // namespace tsm::bridge
