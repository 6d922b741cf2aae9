// Fuzz target: the decode loop against a decoder whose every answer the input scripts: chunk sizes
// (within the request, the whole request, or more than asked), error codes (holes, the invalid
// request code, anything negative), runs of errors, sections, the end of the stream; for fixed blocks
// of any size (allocated to exactly that size) and for growing blocks. Checks: each request asks for
// exactly the room left, at the first free byte; the block holds exactly the bytes produced, in
// order; the loop ends for the documented reason and after the documented number of reads; one error
// line, with the code and the section, per error read past; the growth rule's bounds.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "audio/core/decodeloop.h"
#include "audio/core/pcm.h"
#include "fuzzlog.h"

using namespace tsm::audio;

namespace {
// Largest fixed block a case uses.
constexpr uint64_t MAX_CASE_FIXED_BLOCK = 1 << 16;
// Bytes a growing case that starts empty, as the sound loader's do, may produce before its decoder
// reports the end: enough for one growth past the start size (every growth after it takes the same
// path).
constexpr uint64_t MAX_CASE_GROWN_BYTES = 3 << 19;
// Largest block a growing case that does not start empty starts with.
constexpr uint64_t MAX_CASE_GROWABLE_START = 1 << 16;
// Most scripted answers per case.
constexpr size_t MAX_CASE_ANSWERS = 4096;

struct Answer {
  long value;  // > 0: bytes written, at most the length asked for; otherwise returned as it is
  bool whole;  // write exactly the length asked for
  bool overrun;  // fill the request and claim more than asked for
  int section;
};

struct Decoder {
  std::vector<Answer> script;
  size_t next = 0;
  uint64_t produced = 0;  // bytes the loop should now hold
  uint32_t reads = 0;
  uint32_t errorsRead = 0;  // answers the loop should log
  PcmBlock* block;
  bool growable;
  uint64_t grownLimit = 0;  // a growing case's bytes before the end
  long last = 0;
  int lastSection = 0;
  bool ended = false;  // asked again after reporting the end
};

uint8_t patternByte(uint64_t i) { return static_cast<uint8_t>(i * 131 + (i >> 9) + 7); }

long scriptedRead(void* context, uint8_t* out, int32_t length, int* section) {
  Decoder* d = static_cast<Decoder*>(context);
  FUZZ_REQUIRE(!d->ended);
  ++d->reads;
  // The request: the first free byte, all the room left (which a growing block keeps wide enough).
  FUZZ_REQUIRE(out == d->block->data + d->block->used);
  FUZZ_REQUIRE(length > 0 && static_cast<uint64_t>(length) == d->block->capacity - d->block->used);
  FUZZ_REQUIRE(d->block->used == d->produced);
  if (d->growable) FUZZ_REQUIRE(static_cast<uint64_t>(length) >= STREAM_MIN_READ_BYTES);
  Answer a = d->next < d->script.size() ? d->script[d->next++] : Answer{0, false, false, 0};
  if (d->growable && d->produced >= d->grownLimit && a.value > 0) a = Answer{0, false, false, a.section};
  *section = a.section;
  d->lastSection = a.section;
  d->last = a.value;
  if (a.value > 0) {
    long n = a.whole || a.overrun ? length : (a.value < length ? a.value : length);
    // A growing case stops at its limit (a short read, then the end).
    if (d->growable && static_cast<uint64_t>(n) > d->grownLimit - d->produced) {
      n = static_cast<long>(d->grownLimit - d->produced);
      a.overrun = false;
    }
    // Touch the first and last byte of the run (a write past the block is a report) and mark the
    // run with the pattern at both ends so the order of bytes kept can be checked.
    for (long k = 0; k < n; ++k) {
      if (k == 8 && n > 16) k = n - 8;
      out[k] = patternByte(d->produced + k);
    }
    d->produced += n;
    // A faulty decoder that fills the request and claims more: the loop keeps only its room.
    d->last = a.overrun ? n + a.value : n;
    return d->last;
  }
  if (a.value == 0) d->ended = true;
  if (a.value < 0 && a.value != STREAM_EINVAL) ++d->errorsRead;
  return a.value;
}

// The first and last bytes kept are the first and last produced (scriptedRead marks the ends of
// every run; the bytes between are left as they are, to keep cases fast).
bool holdsPattern(const PcmBlock& b) {
  if (b.used == 0) return true;
  return b.data[0] == patternByte(0) && b.data[b.used - 1] == patternByte(b.used - 1);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tsm::fuzz::resetFuzzLog();
  FuzzedDataProvider in(data, size);

  // The growth rule over any capacity.
  {
    const uint64_t c = in.ConsumeBool() ? in.ConsumeIntegral<uint64_t>() : in.ConsumeIntegralInRange<uint64_t>(0, MAX_SOUND_BYTES + 1);
    const uint64_t g = grownCapacity(c);
    // The start size for a smaller block, else doubled, at most the limit; a block at or past the
    // limit stays as it is.
    unsigned __int128 expected = c < STREAM_START_BYTES ? STREAM_START_BYTES : static_cast<unsigned __int128>(c) * 2;
    if (expected > MAX_SOUND_BYTES) expected = MAX_SOUND_BYTES;
    if (expected < c) expected = c;
    FUZZ_REQUIRE(g == expected);
  }

  Decoder d;
  // One case in 16 grows its block. A growth takes a fresh mapping of at least 1 MiB, and here every
  // fresh page costs a page fault of tens of microseconds, so one growing case in 64 (by a hash of
  // the input) starts empty and grows (twice); the others start with a block of their own of up to
  // 64 KiB and end before they would grow. Growing is not chosen by a 0 byte, which short and padded
  // inputs give far more often than one in 16.
  d.growable = in.ConsumeIntegralInRange<int>(0, 15) == 1;
  PcmBlock block{nullptr, 0, 0};
  if (!d.growable) {
    block.capacity = in.ConsumeIntegralInRange<uint64_t>(0, MAX_CASE_FIXED_BLOCK);
    block.data = static_cast<uint8_t*>(std::malloc(block.capacity));
  } else if (tsm::fuzz::oneInputIn(data, size, 64)) {
    d.grownLimit = MAX_CASE_GROWN_BYTES;
  } else {
    block.capacity = in.ConsumeIntegralInRange<uint64_t>(STREAM_MIN_READ_BYTES, MAX_CASE_GROWABLE_START);
    block.data = static_cast<uint8_t*>(std::malloc(block.capacity));
    d.grownLimit = block.capacity - STREAM_MIN_READ_BYTES;
  }
  d.block = &block;
  d.script.reserve(64);
  while (in.remaining_bytes() && d.script.size() < MAX_CASE_ANSWERS) {
    Answer a{0, false, false, in.ConsumeIntegralInRange<int>(-1, 3)};
    switch (in.ConsumeIntegralInRange<int>(0, 15)) {
      case 0: a.value = 0; break;
      case 1: a.value = -3; break;  // a hole
      case 2: a.value = STREAM_EINVAL; break;
      case 3: a.value = in.ConsumeIntegralInRange<long>(-200, -1); break;
      case 4: a.value = in.ConsumeIntegral<long>() | (long{1} << 63); break;
      case 5: {  // a run of errors
        const int n = in.ConsumeIntegralInRange<int>(1, 70);
        for (int k = 0; k < n && d.script.size() < MAX_CASE_ANSWERS; ++k) d.script.push_back(Answer{-3, false, false, a.section});
        continue;
      }
      case 6: a.value = 1, a.whole = true; break;
      case 7: a.value = in.ConsumeIntegralInRange<long>(1, 1 << 20), a.overrun = true; break;
      case 8: a.value = in.ConsumeIntegralInRange<long>(1 << 12, 1 << 20); break;
      default: a.value = in.ConsumeIntegralInRange<long>(1, 4096); break;
    }
    d.script.push_back(a);
  }

  int section = -5;
  const DecodeEnd end = decodeStream(scriptedRead, &d, block, d.growable, section);

  FUZZ_REQUIRE(block.used <= block.capacity && block.used == d.produced);
  FUZZ_REQUIRE(holdsPattern(block));
  if (d.reads) FUZZ_REQUIRE(section == d.lastSection);
  FUZZ_REQUIRE(tsm::fuzz::fuzzLog.errorLines == d.errorsRead && tsm::fuzz::fuzzLog.infoLines == 0);
  if (d.errorsRead) {
    char line[tsm::fuzz::FUZZ_LOG_LINE_BYTES];
    // The last line names the last error read past (the loop ends after it, or reads data later).
    long lastError = 0;
    int lastErrorSection = 0;
    for (size_t k = 0; k < d.next; ++k) {
      if (d.script[k].value < 0 && d.script[k].value != STREAM_EINVAL) lastError = d.script[k].value, lastErrorSection = d.script[k].section;
    }
    std::snprintf(line, sizeof line, " !Error encountered in stream: %ld (section %i)\n", lastError, lastErrorSection);
    FUZZ_REQUIRE(std::strcmp(line, tsm::fuzz::fuzzLog.lastError) == 0);
  }
  switch (end) {
    case DecodeEnd::END_OF_STREAM: FUZZ_REQUIRE(d.reads && d.last == 0); break;
    case DecodeEnd::INVALID: FUZZ_REQUIRE(d.reads && d.last == STREAM_EINVAL); break;
    case DecodeEnd::BLOCK_FULL: FUZZ_REQUIRE(!d.growable && block.used == block.capacity); break;
    case DecodeEnd::TOO_MANY_ERRORS: {
      FUZZ_REQUIRE(d.next >= MAX_STREAM_ERRORS_IN_A_ROW);
      for (size_t k = d.next - MAX_STREAM_ERRORS_IN_A_ROW; k < d.next; ++k)
        FUZZ_REQUIRE(d.script[k].value < 0 && d.script[k].value != STREAM_EINVAL);
      FUZZ_REQUIRE(d.next == MAX_STREAM_ERRORS_IN_A_ROW || d.script[d.next - MAX_STREAM_ERRORS_IN_A_ROW - 1].value > 0);
      break;
    }
    case DecodeEnd::TOO_LARGE:
    case DecodeEnd::OUT_OF_MEMORY: FUZZ_REQUIRE(false); break;  // never reached in a few MiB
  }
  // A read that errs ends the loop only as documented, so the reads are bounded by the script.
  FUZZ_REQUIRE(d.reads <= d.script.size() + 1);
  std::free(block.data);
  return 0;
}
