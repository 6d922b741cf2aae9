// Fuzz target: the checks of a Vorbis stream's header packets, read straight from a sound file. Any
// packet in storage of exactly its length (the first input byte is the channel count the setup header
// is checked for): the checks end, answer the same twice, and an identification header they accept
// has the documented fields. Seeds are the header packets of the project's own sounds.
#include "audio/core/vorbissetup.h"
#include "fuzzlog.h"

using namespace tsm::audio;

FUZZ_TARGET {
  if (size == 0) return;
  const size_t bytes = size - 1;
  const tsm::fuzz::Exact packet(bytes, data + 1);
  const uint8_t* p = packet.p;
  VorbisIdent ident{0, 0};
  if (readVorbisIdent(p, bytes, ident)) {
    // Type 1, "vorbis", version 0, channels, rate, block sizes 2^6..2^13 in order, the framing bit.
    FUZZ_REQUIRE(bytes >= 30 && p[0] == 1 && std::memcmp(p + 1, "vorbis", 6) == 0 && (p[7] | p[8] | p[9] | p[10]) == 0);
    FUZZ_REQUIRE(ident.channels == p[11] && ident.channels >= 1);
    FUZZ_REQUIRE(ident.rate == (p[12] | p[13] << 8 | p[14] << 16 | static_cast<uint32_t>(p[15]) << 24) && ident.rate != 0);
    FUZZ_REQUIRE((p[28] & 15) >= 6 && (p[28] >> 4) <= 13 && (p[28] & 15) <= (p[28] >> 4) && (p[29] & 1));
  }
  const char* verdict = checkVorbisSetup(p, bytes, data[0] ? data[0] : 1);
  FUZZ_REQUIRE((!verdict || verdict[0] != '\0') && checkVorbisSetup(p, bytes, data[0] ? data[0] : 1) == verdict);
}
