// The audio core: the decode loop against a scripted decoder, PCM shaping, the source pool, and the
// Vorbis header checks against headers written here field by field.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "audio/core/decodeloop.h"
#include "audio/core/errortext.h"
#include "audio/core/pcm.h"
#include "audio/core/sourcepool.h"
#include "audio/core/vorbissetup.h"

using namespace tsm::audio;
using E = DecodeEnd;

namespace {
// Answers reads from a script: a positive entry writes that many pattern bytes (at most the length
// asked for) and sets section 1, others are returned as they are; past the script it answers `endless`.
// Records each read's length, and that length plus the bytes produced before it.
struct ScriptedDecoder {
  std::vector<long> script;
  long endless = 0;
  size_t next = 0;
  uint64_t produced = 0;
  std::vector<uint64_t> asked = {}, reach = {};
  static long read(void* context, uint8_t* out, int32_t length, int* section) {
    auto* d = static_cast<ScriptedDecoder*>(context);
    d->asked.push_back(static_cast<uint64_t>(length)), d->reach.push_back(length + d->produced);
    long n = d->next < d->script.size() ? d->script[d->next++] : d->endless;
    for (long i = 0; i < std::min<long>(n, length); ++i) out[i] = static_cast<uint8_t>((d->produced + i) * 13 + 5);
    if (n > 0) n = std::min<long>(n, length), d->produced += n, *section = 1;
    return n;
  }
};
bool holdsPattern(const PcmBlock& b) {
  for (uint64_t i = 0; i < b.used; ++i) if (b.data[i] != static_cast<uint8_t>(i * 13 + 5)) return false;
  return true;
}
}  // namespace

TEST(DecodeLoop, EachAnswerEndsOrContinuesTheLoopKeepingWhatWasRead) {
  constexpr uint32_t LIMIT = MAX_STREAM_ERRORS_IN_A_ROW;
  std::vector<long> between;  // errors one short of the limit between data, again and again
  for (int i = 0; i < 3; ++i) between.insert(between.end(), LIMIT - 1, -3), between.push_back(10);
  const struct { const char* what; uint64_t size; std::vector<long> script; long endless; E end; uint64_t used; size_t reads; const char* log; } cases[] = {
      {"reads to the end", 1000, {300, 200, 100}, 0, E::END_OF_STREAM, 600, 4, ""},
      {"full block", 500, {300, 300, 300}, 0, E::BLOCK_FULL, 500, 2, ""},
      {"empty block reads nothing", 0, {300}, 0, E::BLOCK_FULL, 0, 0, ""},
      {"invalid request", 1000, {100, STREAM_EINVAL, 100}, 0, E::INVALID, 100, 2, ""},
      {"other errors logged and read past", 1000, {-3, 100, -137, 50}, 0, E::END_OF_STREAM, 150, 5,
       " !Error encountered in stream: -3 (section -1)\n !Error encountered in stream: -137 (section 1)\n"},
      {"only failing: given up", 1000, {10}, -3, E::TOO_MANY_ERRORS, 10, 1 + LIMIT, nullptr},
      {"errors between data do not add up", 1000, between, 0, E::END_OF_STREAM, 30, 3 * LIMIT + 1, nullptr},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes(c.size);
    PcmBlock block{bytes.data(), c.size, 0};
    ScriptedDecoder d{c.script, c.endless};
    int section = -1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(decodeStream(ScriptedDecoder::read, &d, block, false, section), c.end) << c.what;
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(log, c.log ? c.log : log) << c.what;
    EXPECT_TRUE(block.used == c.used && holdsPattern(block)) << c.what;
    EXPECT_EQ(d.reach, std::vector<uint64_t>(c.reads, c.size)) << c.what << ": every read asks for all the room left";
    EXPECT_EQ(section, c.used ? 1 : -1) << c.what;
  }
}

TEST(DecodeLoop, GrowingBlockKeepsItsDataAndRoomForAFrameAndDoublesUpToTheLimit) {
  PcmBlock block{nullptr, 0, 0};
  ScriptedDecoder d;
  for (int i = 0; i < 700; ++i) d.script.push_back(4093 + i % 7);
  int section = -1;
  EXPECT_EQ(decodeStream(ScriptedDecoder::read, &d, block, true, section), E::END_OF_STREAM);
  EXPECT_TRUE(block.used == d.produced && block.used > STREAM_START_BYTES && block.capacity >= block.used && holdsPattern(block));
  EXPECT_GE(*std::min_element(d.asked.begin(), d.asked.end()), STREAM_MIN_READ_BYTES);
  std::free(block.data);
  for (auto [from, to] : {std::pair{uint64_t{0}, STREAM_START_BYTES}, {STREAM_START_BYTES, 2 * STREAM_START_BYTES},
                          {MAX_SOUND_BYTES / 2 + 1, MAX_SOUND_BYTES}, {MAX_SOUND_BYTES, MAX_SOUND_BYTES}})
    EXPECT_EQ(grownCapacity(from), to) << from;
}

// Formats for the four supported shapes only; blocks hold the wider of decoded and converted frames,
// never below the minimum (an empty stream still has a block), and are 0 past the limit or from nonsense.
TEST(Pcm, FormatsAndBlockBytes) {
  const int32_t formats[2][2] = {{FORMAT_MONO8, FORMAT_STEREO8}, {FORMAT_MONO16, FORMAT_STEREO16}};
  for (uint32_t w : {0u, 1u, 2u, 3u, 4u, 0xffffffffu})
    for (uint32_t c : {0u, 1u, 2u, 3u, 6u}) EXPECT_EQ(chooseFormat(w, c), w - 1 < 2 && c - 1 < 2 ? formats[w - 1][c - 1] : 0) << w << " " << c;
  const struct { int64_t frames; uint32_t fileChannels, channels, wordSize; uint64_t bytes; } cases[] = {
      {1000, 1, 1, 2, 2000}, {1000, 2, 1, 2, 4000}, {1000, 1, 2, 2, 4000}, {1000, 6, 2, 1, 6000},
      {0, 2, 2, 2, MIN_SOUND_BLOCK_BYTES}, {1, 1, 1, 1, MIN_SOUND_BLOCK_BYTES}, {MAX_SOUND_BYTES / 4, 2, 2, 2, MAX_SOUND_BYTES},
      {MAX_SOUND_BYTES / 4 + 1, 2, 2, 2, 0}, {int64_t{1} << 40, 1, 1, 2, 0}, {INT64_MAX, 255, 2, 2, 0}, {-1, 1, 1, 2, 0},
      {10, 0, 1, 2, 0}, {10, 1, 0, 2, 0}, {10, 1, 1, 0, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(soundBlockBytes(c.frames, c.fileChannels, c.channels, c.wordSize), c.bytes) << c.frames << " " << c.fileChannels;
  char scratch[ERROR_TEXT_BYTES];
  EXPECT_STREQ(errorTextOr("Invalid Value", "AL", 0xa003, scratch), "Invalid Value");
  EXPECT_STREQ(errorTextOr(nullptr, "AL", 0xa004, scratch), "AL error 0xa004");
  EXPECT_STREQ(errorTextOr(nullptr, "ALC", 0xffffffffu, scratch), "ALC error 0xffffffff");
}

// Each output channel takes the file's channel of that number, or its first; a trailing partial frame
// is dropped and nothing is written past the converted frames.
TEST(Pcm, FramesCopiedToAnyShapeTakeTheFileChannelOrItsFirst) {
  const struct { uint32_t fileChannels, channels, wordSize; std::vector<uint8_t> in, out; } cases[] = {
      {2, 1, 2, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 5, 6}},
      {1, 2, 1, {1, 2, 3}, {1, 1, 2, 2, 3, 3}},
      {1, 2, 2, {1, 2, 3, 4, 5}, {1, 2, 1, 2, 3, 4, 3, 4}},
      {6, 2, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, {1, 2, 7, 8}},
      {2, 2, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, {1, 2, 3, 4, 5, 6, 7, 8}},
      {3, 2, 2, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4}},
      {0, 1, 2, {1, 2}, {}},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> out(c.out.size() + 8, 0xcd), expected = c.out;
    expected.resize(out.size(), 0xcd);
    EXPECT_EQ(convertFrames(c.in.data(), c.in.size(), out.data(), c.fileChannels, c.channels, c.wordSize), c.out.size()) << c.fileChannels;
    EXPECT_EQ(out, expected) << c.fileChannels << " to " << c.channels;
  }
}

// The free list is a stack taken from the top (the last name first), the playing list keeps start
// order, finished sources go back in playing order; with none free a take is refused and changes nothing.
TEST(SourcePool, TakesFromTheTopAndReclaimsInPlayingOrder) {
  auto finished = [](uint32_t source, void* done) { return static_cast<std::set<uint32_t>*>(done)->count(source) > 0; };
  auto list = [](const uint32_t* from, uint32_t n) { return std::vector<uint32_t>(from, from + n); };
  SourcePool pool{};
  uint32_t names[SOURCE_COUNT], s = 0;
  for (uint32_t i = 0; i < SOURCE_COUNT; ++i) names[i] = 100 + i;
  fillPool(pool, names);
  for (uint32_t want : {163u, 162u, 161u}) EXPECT_TRUE(takeSource(pool, s) && s == want);
  std::set<uint32_t> done = {163, 161};
  EXPECT_EQ(reclaimFinished(pool, finished, &done), 2u);
  EXPECT_EQ(list(pool.playingSources, pool.playingCount), std::vector<uint32_t>{162});
  EXPECT_EQ(list(pool.freeSources + 59, pool.freeCount - 59), (std::vector<uint32_t>{159, 160, 163, 161}));
  for (uint32_t n = 0; n < SOURCE_COUNT - 1; ++n) ASSERT_TRUE(takeSource(pool, s));
  EXPECT_TRUE(s == 100u && pool.playingSources[1] == 161u && pool.playingCount == SOURCE_COUNT);
  EXPECT_FALSE(takeSource(pool, s = 7));
  EXPECT_TRUE(s == 7u && pool.freeCount == 0u && pool.playingCount == SOURCE_COUNT);
  emptyPool(pool);
  std::set<uint32_t> all = {100, 162};
  EXPECT_TRUE(!takeSource(pool, s) && reclaimFinished(pool, finished, &all) == 0u);
}

namespace {
// The knobs of a one-codebook setup header; the defaults make a valid one.
struct SetupKnobs {
  uint32_t dimensions = 1;
  std::vector<uint32_t> lengths = {1, 1};
  uint32_t lookupType = 1, mappingType = 0, modeMapping = 0, framing = 1, coupling = 0;
};

// Fields written least significant bit first, as the format packs them.
std::vector<uint8_t> setupHeader(const SetupKnobs& s) {
  std::vector<uint8_t> bytes;
  uint64_t bits = 0;
  auto put = [&](std::initializer_list<std::pair<uint32_t, uint32_t>> fields) {
    for (auto [value, n] : fields)
      for (uint32_t i = 0; i < n; ++i, ++bits) {
        if ((bits & 7) == 0) bytes.push_back(0);
        bytes.back() |= static_cast<uint8_t>(((value >> i) & 1u) << (bits & 7));
      }
  };
  put({{5, 8}});
  for (char c : std::string("vorbis")) put({{static_cast<uint8_t>(c), 8}});
  // One codebook: sync, dimensions, entries, neither ordered nor sparse, lengths, lookup type.
  put({{0, 8}, {0x564342, 24}, {s.dimensions, 16}, {static_cast<uint32_t>(s.lengths.size()), 24}, {0, 1}, {0, 1}});
  for (uint32_t length : s.lengths) put({{length - 1, 5}});
  put({{s.lookupType, 4}});
  // Minimum, delta, one bit per value, no sequence, one value per entry.
  if (s.lookupType == 1) put({{0, 32}, {0, 32}, {0, 4}, {0, 1}, {(1u << s.lengths.size()) - 1, static_cast<uint32_t>(s.lengths.size())}});
  put({{0, 6}, {0, 16}});                          // one time domain transform
  put({{0, 6}, {1, 16}, {0, 5}, {0, 2}, {4, 4}});  // one floor: type 1, no partitions
  put({{0, 6}, {2, 16}, {0, 24}, {0, 24}, {0, 24}, {0, 6}, {0, 8}, {1, 3}, {0, 1}, {0, 8}});  // residue 2, book 0
  // One mapping; coupling: one step, channels 0 and 0 of a mono stream (no bits each).
  put({{0, 6}, {s.mappingType, 16}, {0, 1}, {s.coupling, 1}, {0, s.coupling * 8}, {0, 2}, {0, 8}, {0, 8}, {0, 8}});
  put({{0, 6}, {0, 1}, {0, 16}, {0, 16}, {s.modeMapping, 8}, {s.framing, 1}});  // one mode
  return bytes;
}
}  // namespace

TEST(VorbisSetup, EachFaultIsRefusedForItsReasonAndCutCopiesAreNeverReadPast) {
  const struct { const char* name; void (*change)(SetupKnobs&); const char* reason; } cases[] = {
      {"valid", [](SetupKnobs&) {}, nullptr},
      {"single entry of length 1", [](SetupKnobs& s) { s.lengths = {1}; }, nullptr},
      {"no dimensions", [](SetupKnobs& s) { s.dimensions = 0; }, "codebook with no dimensions"},
      {"values-free, no dimensions, as the residue's book", [](SetupKnobs& s) { s.dimensions = 0, s.lookupType = 0; }, "residue classbook with no dimensions"},
      {"open tree", [](SetupKnobs& s) { s.lengths = {1, 2}; }, "codebook lengths leave the code tree open"},
      {"overfull tree", [](SetupKnobs& s) { s.lengths = {1, 1, 1}; }, "codebook lengths overfill the code tree"},
      {"single entry longer than 1", [](SetupKnobs& s) { s.lengths = {2}; }, "codebook lengths leave the code tree open"},
      {"residue book without values", [](SetupKnobs& s) { s.lookupType = 0; }, "residue codebook without values"},
      {"lookup type 3", [](SetupKnobs& s) { s.lookupType = 3; }, "codebook lookup type out of range"},
      {"mapping type 1", [](SetupKnobs& s) { s.mappingType = 1; }, "mapping type out of range"},
      {"channel coupled with itself", [](SetupKnobs& s) { s.coupling = 1; }, "mapping couples channels it does not have"},
      {"mode names mapping 1", [](SetupKnobs& s) { s.modeMapping = 1; }, "mode names a missing mapping"},
      {"no framing bit", [](SetupKnobs& s) { s.framing = 0; }, "setup header without its framing bit"},
  };
  for (const auto& c : cases) {
    SetupKnobs knobs;
    c.change(knobs);
    const std::vector<uint8_t> packet = setupHeader(knobs);
    EXPECT_STREQ(checkVorbisSetup(packet.data(), packet.size(), 1), c.reason) << c.name;
  }
  std::vector<uint8_t> packet = setupHeader(SetupKnobs{});
  for (size_t n = 0; n < packet.size(); ++n) {
    // An exact-size copy, so that a read past its end is seen by the sanitizers.
    const std::vector<uint8_t> cut(packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_NE(checkVorbisSetup(cut.data(), cut.size(), 1), nullptr) << n;
  }
  EXPECT_STREQ(checkVorbisSetup(packet.data(), packet.size(), 0), "no channels");
  packet[0] = 1;
  EXPECT_STREQ(checkVorbisSetup(packet.data(), packet.size(), 1), "not a setup header");
}

// The identification header's channels, rate, block sizes (2^6..2^13, small not above large), framing
// bit and length at and past their limits.
TEST(VorbisSetup, IdentificationHeaderFieldsAtAndPastTheirLimits) {
  const struct { uint32_t channels, rate; uint8_t blocks, framing; size_t cut; bool valid; } cases[] = {
      {2, 44100, 0xb8, 1, 0, true}, {255, 1, 0xd6, 1, 0, true}, {0, 44100, 0xb8, 1, 0, false}, {2, 0, 0xb8, 1, 0, false},
      {2, 0x80000000u, 0xb8, 1, 0, false}, {2, 44100, 0xb5, 1, 0, false}, {2, 44100, 0xe8, 1, 0, false},
      {2, 44100, 0x79, 1, 0, false}, {2, 44100, 0xb8, 0, 0, false}, {2, 44100, 0xb8, 1, 1, false},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> p = {1, 'v', 'o', 'r', 'b', 'i', 's', 0, 0, 0, 0, static_cast<uint8_t>(c.channels)};
    for (int i = 0; i < 4; ++i) p.push_back(static_cast<uint8_t>(c.rate >> (8 * i)));
    p.resize(28, 0);
    p.insert(p.end(), {c.blocks, c.framing});
    p.resize(p.size() - c.cut);
    VorbisIdent out = {0, 0};
    EXPECT_EQ(readVorbisIdent(p.data(), p.size(), out), c.valid) << c.channels << " " << c.rate << " " << int(c.blocks);
    EXPECT_EQ(out.channels, c.valid ? c.channels : out.channels);
  }
}
