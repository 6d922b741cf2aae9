// The shader name hash. See namehash.h.
#include "gfx/core/namehash.h"

namespace tsm::gfx {
uint32_t nameHash(const char* name) {
  uint32_t h = 5381;
  for (const char* p = name; *p != '\0'; ++p) {
    // Signed byte, sign-extended to 16 bits: the hash the host's tools compute for the same names.
    const uint16_t w = static_cast<uint16_t>(static_cast<int16_t>(static_cast<int8_t>(*p)));
    h = h * 33u + w;
  }
  return h;
}
}  // namespace tsm::gfx
