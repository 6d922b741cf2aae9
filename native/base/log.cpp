// The two log streams and the level that filters them. See log.h.
#include "base/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tsm {
namespace {
enum class Level { ERRORS, INFO, ALL };

// Read once, at the first line: a host chooses the level before the addon says anything.
Level level() {
  static const Level chosen = [] {
    const char* v = std::getenv("TESSIMARKE_LOG");
    if (v && std::strcmp(v, "errors") == 0) return Level::ERRORS;
    if (v && std::strcmp(v, "info") == 0) return Level::INFO;
    return Level::ALL;
  }();
  return chosen;
}

void write(FILE* stream, const char* format, va_list args) {
  std::vfprintf(stream, format, args);
  std::fflush(stream);
}
}  // namespace

void logInfo(const char* format, ...) {
  if (level() == Level::ERRORS) return;
  va_list args;
  va_start(args, format);
  write(stdout, format, args);
  va_end(args);
}

void logDetail(const char* format, ...) {
  if (level() != Level::ALL) return;
  va_list args;
  va_start(args, format);
  write(stdout, format, args);
  va_end(args);
}

void logError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  write(stderr, format, args);
  va_end(args);
}

void logNotice(const char* format, ...) {
  if (level() == Level::ERRORS) return;
  va_list args;
  va_start(args, format);
  write(stderr, format, args);
  va_end(args);
}
}  // namespace tsm
