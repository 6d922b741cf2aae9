// UTF-8 decoding for text runs: never reads past the run, always advances, and answers the glyph
// lookup value of each character. Pure.
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
bool decodeNext(const uint8_t* text, uint64_t length, uint64_t* i, uint32_t fontWord, uint32_t* lookup);
}  // namespace tsm::text
