// What the fuzz targets share. fuzzlog.cpp replaces base/log.cpp in the fuzzed copy of the core: it
// counts the log lines and keeps the last error line, so that a target can check what the core said.
#pragma once
#include <fuzzer/FuzzedDataProvider.h>  // with <algorithm>, <array>, <cstdint>, <cstring> and <vector>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace tsm::fuzz {
struct FuzzLog {
  uint32_t infoLines, errorLines;
  char lastError[256];  // truncated past that
};
extern FuzzLog fuzzLog;
inline void resetFuzzLog() { fuzzLog = {}; }
[[noreturn]] void invariantFailed(const char* expression, const char* file, int line);

// About one input in `n`, by a hash of it all (one byte's choice would pass to most mutants of an input).
inline bool oneInputIn(const uint8_t* data, size_t size, uint64_t n) {
  uint64_t h = 14695981039346656037ull;
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
  return h % n == 0;
}

// `n` bytes (copied from `from`) in storage of exactly that size: any access past them is reported.
struct Exact {
  uint8_t* p;
  explicit Exact(size_t n, const void* from = nullptr) : p(static_cast<uint8_t*>(std::malloc(n))) {
    if (from && n) std::memcpy(p, from, n);
  }
  ~Exact() { std::free(p); }
};
}  // namespace tsm::fuzz

// A broken invariant: prints it and aborts, so that libFuzzer keeps the input.
#define FUZZ_REQUIRE(cond) ((cond) ? (void)0 : ::tsm::fuzz::invariantFailed(#cond, __FILE__, __LINE__))
// FUZZ_TARGET { ... } runs for each input, read through `in` (or as `data`, `size`), logs reset.
#define FUZZ_TARGET                                                                 \
  void fuzzOne(FuzzedDataProvider& in, const uint8_t* data, size_t size);            \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {          \
    ::tsm::fuzz::resetFuzzLog();                                                     \
    FuzzedDataProvider in(data, size);                                               \
    fuzzOne(in, data, size);                                                         \
    return 0;                                                                        \
  }                                                                                  \
  void fuzzOne([[maybe_unused]] FuzzedDataProvider& in, [[maybe_unused]] const uint8_t* data, [[maybe_unused]] size_t size)
// For a target's own check loops: their coverage says nothing of the code under test and costs the most.
#define NO_COVERAGE __attribute__((no_sanitize("coverage")))
