// Vorbis header checks against headers written here field by field: a small valid setup header,
// then variants of it, each with the one fault it must be refused for (or none), and every cut-short
// copy of it; the identification header's fields at and past their limits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/core/vorbissetup.h"

using namespace tsm::audio;

namespace {
// Writes fields least significant bit first, as the format packs them.
struct BitWriter {
  std::vector<uint8_t> bytes;
  uint64_t bits = 0;
  void put(uint32_t value, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i, ++bits) {
      if ((bits & 7) == 0) bytes.push_back(0);
      if ((value >> i) & 1u) bytes.back() |= static_cast<uint8_t>(1u << (bits & 7));
    }
  }
};

// The knobs of the one-codebook setup header below; the defaults make a valid one.
struct SetupKnobs {
  uint32_t dimensions = 1;
  std::vector<uint32_t> lengths = {1, 1};
  uint32_t lookupType = 1;
  uint32_t mappingType = 0;
  bool coupling = false;
  uint32_t modeMapping = 0;
  uint32_t framing = 1;
};

std::vector<uint8_t> setupHeader(const SetupKnobs& s) {
  BitWriter w;
  w.put(5, 8);
  for (char c : std::string("vorbis")) w.put(static_cast<uint8_t>(c), 8);
  w.put(0, 8);  // one codebook
  w.put(0x564342, 24);
  w.put(s.dimensions, 16);
  w.put(static_cast<uint32_t>(s.lengths.size()), 24);
  w.put(0, 1);  // not ordered
  w.put(0, 1);  // not sparse
  for (uint32_t length : s.lengths) w.put(length - 1, 5);
  w.put(s.lookupType, 4);
  if (s.lookupType == 1) {
    w.put(0, 32);  // minimum
    w.put(0, 32);  // delta
    w.put(0, 4);   // one bit per value
    w.put(0, 1);
    for (size_t i = 0; i < s.lengths.size(); ++i) w.put(1, 1);  // lookup1 values of dimension 1: one per entry
  }
  w.put(0, 6);   // one time domain transform
  w.put(0, 16);
  w.put(0, 6);   // one floor: type 1, no partitions
  w.put(1, 16);
  w.put(0, 5);
  w.put(0, 2);
  w.put(4, 4);
  w.put(0, 6);   // one residue: type 2, one classification, book 0 for its first stage
  w.put(2, 16);
  w.put(0, 24);
  w.put(0, 24);
  w.put(0, 24);
  w.put(0, 6);
  w.put(0, 8);
  w.put(1, 3);
  w.put(0, 1);
  w.put(0, 8);
  w.put(0, 6);   // one mapping
  w.put(s.mappingType, 16);
  w.put(0, 1);
  w.put(s.coupling ? 1 : 0, 1);
  if (s.coupling) {
    w.put(0, 8);  // one step, channels 0 and 0 of a mono stream (no bits each)
  }
  w.put(0, 2);
  w.put(0, 8);
  w.put(0, 8);
  w.put(0, 8);
  w.put(0, 6);   // one mode
  w.put(0, 1);
  w.put(0, 16);
  w.put(0, 16);
  w.put(s.modeMapping, 8);
  w.put(s.framing, 1);
  return w.bytes;
}

const char* check(const std::vector<uint8_t>& packet, uint32_t channels = 1) {
  return checkVorbisSetup(packet.data(), packet.size(), channels);
}
}  // namespace

TEST(VorbisSetup, EachFaultIsRefusedForItsReason) {
  struct Case {
    const char* name;
    SetupKnobs setup;
    const char* reason;  // null: accepted
  };
  SetupKnobs noDimensions;
  noDimensions.dimensions = 0;
  SetupKnobs open;
  open.lengths = {1, 2};
  SetupKnobs overfull;
  overfull.lengths = {1, 1, 1};
  SetupKnobs single;
  single.lengths = {1};
  SetupKnobs singleLong;
  singleLong.lengths = {2};
  SetupKnobs noValues;
  noValues.lookupType = 0;
  SetupKnobs badLookup;
  badLookup.lookupType = 3;
  SetupKnobs badMapping;
  badMapping.mappingType = 1;
  SetupKnobs selfCoupled;
  selfCoupled.coupling = true;
  SetupKnobs missingMapping;
  missingMapping.modeMapping = 1;
  SetupKnobs noFraming;
  noFraming.framing = 0;
  const Case cases[] = {
      {"valid", SetupKnobs{}, nullptr},
      {"single entry of length 1", single, nullptr},
      {"no dimensions", noDimensions, "codebook with no dimensions"},
      {"open tree", open, "codebook lengths leave the code tree open"},
      {"overfull tree", overfull, "codebook lengths overfill the code tree"},
      {"single entry longer than 1", singleLong, "codebook lengths leave the code tree open"},
      {"residue book without values", noValues, "residue codebook without values"},
      {"lookup type 3", badLookup, "codebook lookup type out of range"},
      {"mapping type 1", badMapping, "mapping type out of range"},
      {"channel coupled with itself", selfCoupled, "mapping couples channels it does not have"},
      {"mode names mapping 1", missingMapping, "mode names a missing mapping"},
      {"no framing bit", noFraming, "setup header without its framing bit"},
  };
  for (const Case& c : cases) {
    const char* why = check(setupHeader(c.setup));
    EXPECT_STREQ(why, c.reason) << c.name;
  }
}

TEST(VorbisSetup, EveryCutShortCopyIsRefusedAndNeverReadPast) {
  const std::vector<uint8_t> packet = setupHeader(SetupKnobs{});
  ASSERT_EQ(check(packet), nullptr);
  for (size_t n = 0; n < packet.size(); ++n) {
    // An exact-size copy, so that a read past its end is seen by the sanitizers.
    const std::vector<uint8_t> cut(packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_NE(checkVorbisSetup(cut.data(), cut.size(), 1), nullptr) << n;
  }
  std::vector<uint8_t> ident = packet;
  ident[0] = 1;
  EXPECT_STREQ(check(ident), "not a setup header");
  EXPECT_STREQ(check(packet, 0), "no channels");
}

TEST(VorbisSetup, IdentificationHeaderFieldsAtAndPastTheirLimits) {
  auto ident = [](uint32_t channels, uint32_t rate, uint8_t blocks, uint8_t framing) {
    std::vector<uint8_t> p = {1, 'v', 'o', 'r', 'b', 'i', 's', 0, 0, 0, 0, static_cast<uint8_t>(channels)};
    for (int i = 0; i < 4; ++i) p.push_back(static_cast<uint8_t>(rate >> (8 * i)));
    p.resize(28, 0);
    p.push_back(blocks);
    p.push_back(framing);
    return p;
  };
  struct Case {
    std::vector<uint8_t> packet;
    bool valid;
  };
  const Case cases[] = {
      {ident(2, 44100, 0xb8, 1), true},  {ident(255, 1, 0xd6, 1), true},   {ident(0, 44100, 0xb8, 1), false},
      {ident(2, 0, 0xb8, 1), false},     {ident(2, 0x80000000u, 0xb8, 1), false},
      {ident(2, 44100, 0xb5, 1), false},  // small block 2^5
      {ident(2, 44100, 0xe8, 1), false},  // large block 2^14
      {ident(2, 44100, 0x79, 1), false},  // small larger than large
      {ident(2, 44100, 0xb8, 0), false},
  };
  for (const Case& c : cases) {
    VorbisIdent out = {0, 0};
    EXPECT_EQ(readVorbisIdent(c.packet.data(), c.packet.size(), out), c.valid) << int(c.packet[11]) << " " << int(c.packet[28]);
    if (c.valid) {
      EXPECT_EQ(out.channels, c.packet[11]);
    }
  }
  std::vector<uint8_t> shortPacket = ident(2, 44100, 0xb8, 1);
  shortPacket.pop_back();
  VorbisIdent out = {0, 0};
  EXPECT_FALSE(readVorbisIdent(shortPacket.data(), shortPacket.size(), out));
}
