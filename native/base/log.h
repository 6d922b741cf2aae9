// Log lines: printf-formatted, no prefix, no timestamp, the newline is part of each message.
// Information goes to standard output, errors to standard error; both flush after every line so
// that nothing is lost when a check aborts and lines keep their order with the host's own output.
//
// TESSIMARKE_LOG, read at the first line, sets how much is said: "all" (every line; also when unset
// or unknown), "info" (every line but the routine detail), "errors" (error lines only, without the
// routine notices). Nothing changes at "all".
#pragma once

namespace tsm {
// Formatted line to standard output, flushed; not at "errors".
void logInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Routine detail to standard output (one line per freed block and the like); only at "all".
void logDetail(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Formatted line to standard error, flushed; at every level.
void logError(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A warning that is routine in normal runs, to standard error; not at "errors".
void logNotice(const char* format, ...) __attribute__((format(printf, 1, 2)));
}  // namespace tsm
