// UTF-8 decoding for text runs: never reads past the run, always advances, and answers the glyph
// lookup value of each character. Inline: layout decodes every character once or twice. Pure.
#pragma once
#include <cstdint>

namespace tsm::text {
// Lookup value of a continuation byte met where a character should begin: font id 3 with a code
// point above U+10FFFF, which every face maps to its missing glyph.
constexpr uint32_t STRAY_CONTINUATION_KEY = 0x7FFF00;

// Decodes the character at `*i` of `text` (`length` bytes) and advances `*i` past it. Returns false
// when the run ends there: at its end, inside a truncated sequence, or at a lead byte 0xF8-0xFF.
// Otherwise `*lookup` is fontWord << 21 | code point (or STRAY_CONTINUATION_KEY | byte).
// Continuation bytes are not checked; overlong forms and surrogates pass unchanged.
inline bool decodeNext(const uint8_t* text, uint64_t length, uint64_t* i, uint32_t fontWord, uint32_t* lookup) {
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
