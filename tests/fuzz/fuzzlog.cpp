// Log streams of the fuzzed core and the targets' invariant failure. See fuzzlog.h.
#include "fuzzlog.h"

#include <cstdarg>

#include "base/log.h"

namespace tsm::fuzz {
FuzzLog fuzzLog;

void invariantFailed(const char* expression, const char* file, int line) {
  std::fprintf(stderr, "fuzz invariant failed: %s (%s:%d)\n", expression, file, line);
  std::abort();
}
}  // namespace tsm::fuzz

namespace tsm {
void logInfo(const char*, ...) { ++fuzz::fuzzLog.infoLines; }

void logError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(fuzz::fuzzLog.lastError, sizeof fuzz::fuzzLog.lastError, format, args);
  ++fuzz::fuzzLog.errorLines;
  va_end(args);
}
}  // namespace tsm
