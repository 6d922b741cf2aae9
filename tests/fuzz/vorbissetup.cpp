// Fuzz target: the checks of a Vorbis stream's header packets, which read bytes straight from a sound
// file. Any packet, of any length, with any channel count: the checks never read past the packet
// (it is copied to storage of exactly its length), always end, answer the same twice, and an
// identification header they accept has the documented fields: type 1, "vorbis", version 0, at
// least one channel, a non-zero rate, block sizes 2^6..2^13 with the first not above the second,
// and the framing bit. Seeds are the header packets of the project's own sounds.
#include <cstdlib>
#include <cstring>

#include "audio/core/vorbissetup.h"
#include "fuzzlog.h"

using namespace tsm::audio;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // First byte: the channel count the setup header is checked for; the rest: the packet.
  const uint32_t channels = data[0] ? data[0] : 1;
  const size_t bytes = size - 1;
  uint8_t* packet = static_cast<uint8_t*>(std::malloc(bytes));
  if (bytes) std::memcpy(packet, data + 1, bytes);

  VorbisIdent ident{0, 0};
  if (readVorbisIdent(packet, bytes, ident)) {
    FUZZ_REQUIRE(bytes >= 30);
    FUZZ_REQUIRE(packet[0] == 1 && std::memcmp(packet + 1, "vorbis", 6) == 0);
    FUZZ_REQUIRE((packet[7] | packet[8] | packet[9] | packet[10]) == 0);
    const uint32_t rate = packet[12] | packet[13] << 8 | packet[14] << 16 | static_cast<uint32_t>(packet[15]) << 24;
    FUZZ_REQUIRE(ident.channels == packet[11] && ident.channels >= 1);
    FUZZ_REQUIRE(ident.rate == rate && rate != 0);
    const uint32_t small = packet[28] & 15, large = packet[28] >> 4;
    FUZZ_REQUIRE(small >= 6 && large <= 13 && small <= large);
    FUZZ_REQUIRE(packet[29] & 1);
  }

  const char* verdict = checkVorbisSetup(packet, bytes, channels);
  FUZZ_REQUIRE(!verdict || verdict[0] != '\0');
  FUZZ_REQUIRE(checkVorbisSetup(packet, bytes, channels) == verdict);
  std::free(packet);
  return 0;
}
