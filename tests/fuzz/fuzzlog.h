// The fuzz targets' view of the core's log streams: fuzzlog.cpp replaces base/log.cpp in the
// fuzzed copy of the core, counting the lines and keeping the last one of each stream instead of
// printing them, so that a target can check what the core said without flooding the terminal.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tsm::fuzz {
// Longest line kept; longer lines are kept truncated.
constexpr size_t FUZZ_LOG_LINE_BYTES = 256;

struct FuzzLog {
  uint32_t infoLines;
  uint32_t errorLines;
  char lastInfo[FUZZ_LOG_LINE_BYTES];
  char lastError[FUZZ_LOG_LINE_BYTES];
};

extern FuzzLog fuzzLog;
// Forgets every line (call at the start of each input).
void resetFuzzLog();
}  // namespace tsm::fuzz

// A broken invariant: prints what and where, then aborts so that libFuzzer keeps the input.
#define FUZZ_REQUIRE(cond) \
  ((cond) ? (void)0 : ::tsm::fuzz::invariantFailed(#cond, __FILE__, __LINE__))

namespace tsm::fuzz {
[[noreturn]] void invariantFailed(const char* expression, const char* file, int line);

// True for about one input in `n`, decided by a hash of the whole input. For choosing expensive
// cases: libFuzzer mutates inputs with rare coverage the most, and a choice made by one input byte
// would pass to nearly every mutant, so that the expensive cases took over the run; a hash changes
// with any mutation and keeps them at one in `n`.
inline bool oneInputIn(const uint8_t* data, size_t size, uint64_t n) {
  uint64_t h = 14695981039346656037ull;
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
  return h % n == 0;
}
}  // namespace tsm::fuzz
