// Checks of a Vorbis stream's header packets before the decoder library decodes with them: the
// identification header's channel count and rate, and a walk over the whole setup header
// (codebooks, floors, residues, mappings, modes) that refuses what the format does not allow and
// what the library accepts but cannot decode without a trap or an endless loop (a codebook with no
// dimensions divides by zero in residue decoding). Pure: the sound loader hands over the packets it
// sees pass by; the decoder library parses them again for itself.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tsm::audio {
// What the identification header says about the PCM.
struct VorbisIdent {
  uint32_t channels;
  uint32_t rate;
};

// True when `packet` is a Vorbis identification header (type 1, "vorbis", version 0, at least one
// channel, a non-zero rate, valid block sizes, framing bit); fills `ident`.
bool readVorbisIdent(const uint8_t* packet, size_t bytes, VorbisIdent& ident);

// Null when the setup header `packet` of a stream with `channels` channels can be decoded safely;
// otherwise a short text for the log saying what is wrong (a static string).
const char* checkVorbisSetup(const uint8_t* packet, size_t bytes, uint32_t channels);
}  // namespace tsm::audio
