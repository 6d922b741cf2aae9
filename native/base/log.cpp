// The two log streams. See log.h.
#include "base/log.h"

#include <cstdarg>
#include <cstdio>

namespace tsm {
void logInfo(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stdout, format, args);
  va_end(args);
  std::fflush(stdout);
}

void logError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fflush(stderr);
}
}  // namespace tsm
