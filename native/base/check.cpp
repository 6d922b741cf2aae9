// Check failure reporting. Owns nothing else; called only through the CHECK macros.
#include "base/check.h"

#include <cstdio>
#include <cstdlib>

namespace tsm {
void checkFailed(const char* expression, const char* module, int line) {
  std::fflush(stdout);
  std::fprintf(stderr, "Assertion failed: %s, module %s, line %d\n", expression, module, line);
  std::fflush(stderr);
  std::abort();
}
}  // namespace tsm
