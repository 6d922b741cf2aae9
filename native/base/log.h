// Log lines: printf-formatted, no prefix, no timestamp, the newline is part of each message.
// Information goes to standard output, errors to standard error; both flush after every line so
// that nothing is lost when a check aborts and lines keep their order with the host's own output.
#pragma once

namespace tsm {
// Formatted line to standard output, flushed.
void logInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Formatted line to standard error, flushed.
void logError(const char* format, ...) __attribute__((format(printf, 1, 2)));
}  // namespace tsm
