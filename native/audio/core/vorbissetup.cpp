// Vorbis header checks. See vorbissetup.h. The setup header is bit-packed, least significant bit
// first; every field is read in the order the format defines, and reading past the packet's end
// refuses it.
#include "audio/core/vorbissetup.h"

#include <cstring>

namespace tsm::audio {
namespace {
// Limits the format itself sets on the setup header's tables.
constexpr uint32_t MAX_CODEBOOKS = 256;           // an 8-bit count, plus one
constexpr uint32_t MAX_FLOOR1_CLASSES = 16;     // a 4-bit class number
constexpr uint32_t MAX_FLOOR1_PARTITIONS = 31;  // a 5-bit count
constexpr uint32_t MAX_CLASSIFICATIONS = 64;    // a 6-bit count, plus one
// Block sizes are powers of two between these exponents.
constexpr uint32_t MIN_BLOCK_EXPONENT = 6;
constexpr uint32_t MAX_BLOCK_EXPONENT = 13;

struct BitReader {
  const uint8_t* data;
  uint64_t bits;  // bits in the packet
  uint64_t at;    // bits read so far
  bool past;      // a read ran past the end

  // Next `n` bits (n <= 32) as an unsigned number; 0 once past the end.
  uint32_t read(uint32_t n) {
    if (n == 0) return 0;
    if (past || bits - at < n) {
      past = true;
      return 0;
    }
    uint32_t value = 0;
    for (uint32_t i = 0; i < n; ++i, ++at) value |= static_cast<uint32_t>((data[at >> 3] >> (at & 7)) & 1u) << i;
    return value;
  }
  // Skips `n` bits; false (and past) when fewer are left.
  bool skip(uint64_t n) {
    if (past || bits - at < n) {
      past = true;
      return false;
    }
    at += n;
    return true;
  }
};

// Bits needed to hold `v` (0 for 0).
uint32_t ilog(uint32_t v) {
  uint32_t n = 0;
  while (v) {
    ++n;
    v >>= 1;
  }
  return n;
}

// The largest r with r^dimensions <= entries (dimensions >= 1).
uint64_t lookup1Values(uint32_t entries, uint32_t dimensions) {
  auto fits = [&](uint64_t r) {
    uint64_t p = 1;
    for (uint32_t i = 0; i < dimensions; ++i) {
      p *= r;
      if (p > entries) return false;
    }
    return true;
  };
  uint64_t low = 0, high = uint64_t{entries} + 1;  // fits(low), !fits(high) for entries >= 1
  if (entries == 0) return 0;
  while (high - low > 1) {
    const uint64_t mid = (low + high) / 2;
    if (fits(mid)) low = mid; else high = mid;
  }
  return low;
}

struct Codebook {
  uint32_t dimensions;
  uint32_t lookupType;
};

const char* readCodebook(BitReader& r, Codebook& book) {
  if (r.read(24) != 0x564342) return "codebook without its sync pattern";
  book.dimensions = r.read(16);
  const uint32_t entries = r.read(24);
  // The decoder divides by the dimensions when it decodes residues, and loops on them elsewhere.
  if (book.dimensions == 0) return "codebook with no dimensions";
  // The codeword lengths must fill the prefix code tree exactly (one used entry of length 1 is the
  // only exception). The decoder library refuses other trees only when it first decodes, and a
  // second read after that refusal decodes with empty codebooks: a division by zero.
  uint64_t filled = 0;  // sum of 2^(32 - length) over the used entries; a full tree is 2^32
  uint32_t used = 0;
  uint32_t lastLength = 0;
  if (r.read(1)) {  // ordered lengths
    uint32_t current = 0;
    uint32_t length = r.read(5) + 1;
    while (current < entries && !r.past) {
      const uint32_t number = r.read(ilog(entries - current));
      current += number;
      if (current > entries) return "codebook lengths past its entries";
      if (number > 0) {
        if (length > 32) return "codebook lengths past 32 bits";
        filled += uint64_t{number} << (32 - length);
        used += number;
        lastLength = length;
      }
      if (++length > 33 && current < entries) return "codebook lengths past 32 bits";
    }
  } else {
    const bool sparse = r.read(1) != 0;
    for (uint32_t i = 0; i < entries && !r.past; ++i) {
      if (sparse && !r.read(1)) continue;
      lastLength = r.read(5) + 1;
      filled += uint64_t{1} << (32 - lastLength);
      ++used;
    }
  }
  if (r.past) return "packet ends inside a codebook";
  const bool singleEntry = used == 1 && lastLength == 1;
  if (used > 0 && !singleEntry && filled != uint64_t{1} << 32) {
    return filled > uint64_t{1} << 32 ? "codebook lengths overfill the code tree" : "codebook lengths leave the code tree open";
  }
  book.lookupType = r.read(4);
  if (book.lookupType > 2) return "codebook lookup type out of range";
  if (book.lookupType != 0) {
    r.read(32);
    r.read(32);
    const uint32_t valueBits = r.read(4) + 1;
    r.read(1);
    const uint64_t values = book.lookupType == 1 ? lookup1Values(entries, book.dimensions)
                                                 : uint64_t{entries} * book.dimensions;
    if (!r.skip(values * valueBits)) return "packet ends inside a codebook";
  }
  return r.past ? "packet ends inside a codebook" : nullptr;
}

const char* readFloor(BitReader& r, const Codebook* books, uint32_t bookCount) {
  const uint32_t type = r.read(16);
  if (type == 0) {
    r.read(8);   // order
    r.read(16);  // rate
    r.read(16);  // bark map size
    r.read(6);   // amplitude bits
    r.read(8);   // amplitude offset
    const uint32_t count = r.read(4) + 1;
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t b = r.read(8);
      if (b >= bookCount) return "floor names a missing codebook";
      // Floor 0 decodes vectors of the book's size and needs its values.
      if (books[b].lookupType == 0) return "floor codebook without values";
    }
    return nullptr;
  }
  if (type != 1) return "floor type out of range";
  const uint32_t partitions = r.read(5);
  uint32_t partitionClass[MAX_FLOOR1_PARTITIONS];
  int32_t maxClass = -1;
  for (uint32_t i = 0; i < partitions; ++i) {
    partitionClass[i] = r.read(4);
    if (static_cast<int32_t>(partitionClass[i]) > maxClass) maxClass = static_cast<int32_t>(partitionClass[i]);
  }
  uint32_t classDimensions[MAX_FLOOR1_CLASSES];
  for (int32_t c = 0; c <= maxClass; ++c) {
    classDimensions[c] = r.read(3) + 1;
    const uint32_t subclasses = r.read(2);
    if (subclasses && r.read(8) >= bookCount) return "floor names a missing codebook";
    for (uint32_t j = 0; j < (1u << subclasses); ++j) {
      const uint32_t b = r.read(8);
      if (b != 0 && b - 1 >= bookCount) return "floor names a missing codebook";
    }
  }
  r.read(2);  // multiplier
  const uint32_t rangeBits = r.read(4);
  for (uint32_t i = 0; i < partitions; ++i) {
    if (!r.skip(uint64_t{classDimensions[partitionClass[i]]} * rangeBits)) return "packet ends inside a floor";
  }
  return r.past ? "packet ends inside a floor" : nullptr;
}

const char* readResidue(BitReader& r, const Codebook* books, uint32_t bookCount) {
  if (r.read(16) > 2) return "residue type out of range";
  r.read(24);  // begin
  r.read(24);  // end
  r.read(24);  // partition size - 1
  const uint32_t classifications = r.read(6) + 1;
  const uint32_t classbook = r.read(8);
  if (classbook >= bookCount) return "residue names a missing codebook";
  uint32_t cascade[MAX_CLASSIFICATIONS];
  for (uint32_t i = 0; i < classifications; ++i) {
    const uint32_t low = r.read(3);
    const uint32_t high = r.read(1) ? r.read(5) : 0;
    cascade[i] = high * 8 + low;
  }
  for (uint32_t i = 0; i < classifications; ++i) {
    for (uint32_t j = 0; j < 8; ++j) {
      if (!(cascade[i] & (1u << j))) continue;
      const uint32_t b = r.read(8);
      if (b >= bookCount) return "residue names a missing codebook";
      // Residue vectors come from the book's values.
      if (books[b].lookupType == 0) return "residue codebook without values";
    }
  }
  return r.past ? "packet ends inside a residue" : nullptr;
}

const char* readMapping(BitReader& r, uint32_t channels, uint32_t floors, uint32_t residues) {
  if (r.read(16) != 0) return "mapping type out of range";
  const uint32_t submaps = r.read(1) ? r.read(4) + 1 : 1;
  if (r.read(1)) {
    const uint32_t steps = r.read(8) + 1;
    const uint32_t bits = ilog(channels - 1);
    for (uint32_t i = 0; i < steps; ++i) {
      const uint32_t magnitude = r.read(bits);
      const uint32_t angle = r.read(bits);
      if (magnitude == angle || magnitude >= channels || angle >= channels) return "mapping couples channels it does not have";
    }
  }
  if (r.read(2) != 0) return "mapping reserved bits set";
  if (submaps > 1) {
    for (uint32_t c = 0; c < channels; ++c) {
      if (r.read(4) >= submaps) return "mapping names a missing submap";
    }
  }
  for (uint32_t i = 0; i < submaps; ++i) {
    r.read(8);
    if (r.read(8) >= floors) return "mapping names a missing floor";
    if (r.read(8) >= residues) return "mapping names a missing residue";
  }
  return r.past ? "packet ends inside a mapping" : nullptr;
}
}  // namespace

bool readVorbisIdent(const uint8_t* packet, size_t bytes, VorbisIdent& ident) {
  if (bytes < 30 || packet[0] != 1 || std::memcmp(packet + 1, "vorbis", 6) != 0) return false;
  auto u32 = [&](size_t at) {
    return uint32_t{packet[at]} | uint32_t{packet[at + 1]} << 8 | uint32_t{packet[at + 2]} << 16 |
           uint32_t{packet[at + 3]} << 24;
  };
  if (u32(7) != 0) return false;
  ident.channels = packet[11];
  ident.rate = u32(12);
  const uint32_t small = packet[28] & 15u;
  const uint32_t large = packet[28] >> 4;
  if (ident.channels == 0 || ident.rate == 0 || ident.rate > 0x7fffffffu) return false;
  if (small < MIN_BLOCK_EXPONENT || large > MAX_BLOCK_EXPONENT || small > large) return false;
  return (packet[29] & 1u) != 0;
}

const char* checkVorbisSetup(const uint8_t* packet, size_t bytes, uint32_t channels) {
  if (bytes < 7 || packet[0] != 5 || std::memcmp(packet + 1, "vorbis", 6) != 0) return "not a setup header";
  if (channels == 0) return "no channels";
  BitReader r{packet + 7, (uint64_t{bytes} - 7) * 8, 0, false};

  static_assert(MAX_CODEBOOKS == 256);
  Codebook books[MAX_CODEBOOKS];
  const uint32_t bookCount = r.read(8) + 1;
  for (uint32_t i = 0; i < bookCount; ++i) {
    if (const char* why = readCodebook(r, books[i])) return why;
  }
  const uint32_t times = r.read(6) + 1;
  for (uint32_t i = 0; i < times; ++i) {
    if (r.read(16) != 0) return "time domain transform out of range";
  }
  const uint32_t floors = r.read(6) + 1;
  for (uint32_t i = 0; i < floors; ++i) {
    if (const char* why = readFloor(r, books, bookCount)) return why;
  }
  const uint32_t residues = r.read(6) + 1;
  for (uint32_t i = 0; i < residues; ++i) {
    if (const char* why = readResidue(r, books, bookCount)) return why;
  }
  const uint32_t mappings = r.read(6) + 1;
  for (uint32_t i = 0; i < mappings; ++i) {
    if (const char* why = readMapping(r, channels, floors, residues)) return why;
  }
  const uint32_t modes = r.read(6) + 1;
  for (uint32_t i = 0; i < modes; ++i) {
    r.read(1);
    if (r.read(16) != 0 || r.read(16) != 0) return "mode window or transform out of range";
    if (r.read(8) >= mappings) return "mode names a missing mapping";
  }
  if (r.past) return "packet ends inside the modes";
  if (r.read(1) != 1) return "setup header without its framing bit";
  return nullptr;
}
}  // namespace tsm::audio
