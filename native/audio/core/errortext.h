// Text for an OpenAL error code in a log line. The library names only the codes it knows and gives
// nothing without a context; a "%s" must never receive null, so those codes are written out in
// hexadecimal instead. Pure: the caller asks the library and hands its answer (maybe null) here.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tsm::audio {
// Room for the longest fallback text, "ALC error 0xffffffff" and its terminator.
constexpr size_t ERROR_TEXT_BYTES = 24;

// `text` when it is not null; otherwise "`library` error 0x<code>" (lower-case hex) in `scratch`.
const char* errorTextOr(const char* text, const char* library, uint32_t code, char (&scratch)[ERROR_TEXT_BYTES]);
}  // namespace tsm::audio
