// UTF-8 decoding of text runs. See utf8.h.
#include "text/core/utf8.h"

namespace tsm::text {
bool decodeNext(const uint8_t* text, uint64_t length, uint64_t* i, uint32_t fontWord, uint32_t* lookup) {
  if (*i >= length) return false;
  const uint8_t b = text[(*i)++];
  if (b < 0x80) {
    *lookup = fontWord << 21 | b;
    return true;
  }
  if (b <= 0xBF) {
    *lookup = STRAY_CONTINUATION_KEY | b;
    return true;
  }
  uint32_t extra, code;
  if (b <= 0xDF) {
    extra = 1;
    code = b & 0x1F;
  } else if (b <= 0xEF) {
    extra = 2;
    code = b & 0x0F;
  } else if (b <= 0xF7) {
    extra = 3;
    code = b & 0x07;
  } else {
    return false;
  }
  if (length - *i < extra) {
    *i = length;
    return false;
  }
  for (uint32_t k = 0; k < extra; ++k) code = code << 6 | (text[(*i)++] & 0x3F);
  *lookup = fontWord << 21 | code;
  return true;
}
}  // namespace tsm::text
