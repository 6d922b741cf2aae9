// Error texts with a hexadecimal fallback. See errortext.h.
#include "audio/core/errortext.h"

#include <cstdio>

namespace tsm::audio {
const char* errorTextOr(const char* text, const char* library, uint32_t code, char (&scratch)[ERROR_TEXT_BYTES]) {
  if (text) return text;
  std::snprintf(scratch, sizeof scratch, "%.3s error 0x%x", library, static_cast<unsigned>(code));
  return scratch;
}
}  // namespace tsm::audio
