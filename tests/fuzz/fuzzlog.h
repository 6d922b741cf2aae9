// What the fuzz targets share. fuzzlog.cpp replaces base/log.cpp in the fuzzed copy of the core: it
// counts each log stream's lines and keeps the last one, so that a target can check what the core said.
// The targets read their inputs with FuzzedDataProvider.
#pragma once
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tsm::fuzz {
constexpr size_t FUZZ_LOG_LINE_BYTES = 256;  // longer lines are kept truncated

struct FuzzLog {
  uint32_t infoLines, errorLines;
  char lastInfo[FUZZ_LOG_LINE_BYTES], lastError[FUZZ_LOG_LINE_BYTES];
};
extern FuzzLog fuzzLog;
void resetFuzzLog();
[[noreturn]] void invariantFailed(const char* expression, const char* file, int line);

// True for about one input in `n`, by a hash of the whole input. Expensive cases are chosen this way:
// a choice made by one byte passes to nearly every mutant of an input, and they would take over the run.
inline bool oneInputIn(const uint8_t* data, size_t size, uint64_t n) {
  uint64_t h = 14695981039346656037ull;
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
  return h % n == 0;
}

// `n` bytes (a copy of `from`, when given) in storage of exactly that size: any access past them is a
// sanitizer report.
struct Exact {
  uint8_t* p;
  explicit Exact(size_t n, const void* from = nullptr) : p(static_cast<uint8_t*>(std::malloc(n))) {
    if (from && n) std::memcpy(p, from, n);
  }
  Exact(const Exact&) = delete;
  ~Exact() { std::free(p); }
};
}  // namespace tsm::fuzz

// A broken invariant: prints it and aborts, so that libFuzzer keeps the input.
#define FUZZ_REQUIRE(cond) ((cond) ? (void)0 : ::tsm::fuzz::invariantFailed(#cond, __FILE__, __LINE__))
// A target: FUZZ_TARGET { ... } runs for each input, read through `in` (or as `data`, `size`), with the
// log streams reset.
#define FUZZ_TARGET                                                                 \
  void fuzzOne(FuzzedDataProvider& in, const uint8_t* data, size_t size);            \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {          \
    ::tsm::fuzz::resetFuzzLog();                                                     \
    FuzzedDataProvider in(data, size);                                               \
    fuzzOne(in, data, size);                                                         \
    return 0;                                                                        \
  }                                                                                  \
  void fuzzOne([[maybe_unused]] FuzzedDataProvider& in, [[maybe_unused]] const uint8_t* data, [[maybe_unused]] size_t size)
// For a target's own check loops: they say nothing about the code under test, and tracing their
// comparisons for coverage would cost most of the time.
#define NO_COVERAGE __attribute__((no_sanitize("coverage")))
