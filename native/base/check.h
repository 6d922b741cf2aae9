// Checks: always compiled in. A failed check prints the expression text exactly as written, the
// module that owns the code and the line, flushes, and aborts. Used for programming errors by the
// host, exhausted fixed tables and failed allocations; never for failures of outside libraries.
//
// Each source file declares `constexpr const char* checkModule = "...";` in its anonymous namespace
// and uses CHECK; shared helpers that report on behalf of a caller's module use CHECK_IN.
#pragma once

namespace tsm {
// Prints "Assertion failed: EXPR, module MODULE, line LINE" to standard error and aborts.
[[noreturn]] void checkFailed(const char* expression, const char* module, int line);
}  // namespace tsm

#define CHECK_IN(module, cond) ((cond) ? (void)0 : ::tsm::checkFailed(#cond, (module), __LINE__))
#define CHECK(cond) CHECK_IN(checkModule, cond)

// Element count of a fixed array; used in argument-count checks.
#define lengthof(array) (sizeof(array) / sizeof((array)[0]))
