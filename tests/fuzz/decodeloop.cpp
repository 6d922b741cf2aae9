// Fuzz target: the decode loop against a decoder the input scripts, into fixed blocks of exact size and
// growing blocks: each read asks for all the room left at the first free byte; the block holds the bytes
// produced; the loop ends for the documented reason, logging each error read past.
#include "audio/core/decodeloop.h"
#include "fuzzlog.h"

using namespace tsm::audio;
using tsm::fuzz::fuzzLog;

namespace {
constexpr uint64_t MAX_CASE_BLOCK = 1 << 16, MAX_CASE_GROWN_BYTES = 3 << 19;  // the latter one growth past the start
constexpr size_t MAX_CASE_ANSWERS = 4096;

// value > 0: bytes written (all asked for when `whole`; all, claiming `value` more, when `overrun`).
struct Answer { long value; bool whole, overrun; int section; };

bool readPast(long v) { return v < 0 && v != STREAM_EINVAL; }

struct Decoder {
  std::vector<Answer> script;
  uint64_t next = 0, produced = 0, grownLimit = 0, reads = 0;
  PcmBlock block{nullptr, 0, 0};
  bool growable, ended = false;
  Answer last{};  // the last answer read
};

uint8_t patternByte(uint64_t i) { return static_cast<uint8_t>(i * 131 + (i >> 9) + 7); }

long scriptedRead(void* context, uint8_t* out, int32_t length, int* section) {
  Decoder* const d = static_cast<Decoder*>(context);
  FUZZ_REQUIRE(!d->ended);
  ++d->reads;
  FUZZ_REQUIRE(d->block.used == d->produced && out == d->block.data + d->block.used);
  const uint64_t asked = length > 0 ? length : 0;
  FUZZ_REQUIRE(asked > 0 && asked == d->block.capacity - d->block.used && (!d->growable || asked >= STREAM_MIN_READ_BYTES));
  Answer a = d->next < d->script.size() ? d->script[d->next++] : Answer{0, false, false, 0};
  if (d->growable && d->produced >= d->grownLimit && a.value > 0) a = Answer{0, false, false, a.section};
  *section = (d->last = a).section;
  d->ended = a.value == 0;
  if (a.value <= 0) return a.value;
  // A growing case stops at its limit: a short read, then the end.
  const long room = d->growable ? static_cast<long>(d->grownLimit - d->produced) : length;
  const long n = std::min(room, a.whole || a.overrun ? length : std::min<long>(a.value, length));
  // The ends of each run are marked (and touched: a write past the block is a report).
  for (long k = 0; k < n; ++k) {
    if (k == 8 && n > 16) k = n - 8;
    out[k] = patternByte(d->produced + k);
  }
  d->produced += n;
  return d->last.value = a.overrun && n == length ? n + a.value : n;
}
}  // namespace

FUZZ_TARGET {
  // One case in 16 grows its block; as growing maps fresh MiBs, only one in 64 of those starts empty.
  Decoder d;
  d.growable = in.ConsumeIntegralInRange<int>(0, 15) == 1;
  PcmBlock& block = d.block;
  if (!d.growable) {
    block.capacity = in.ConsumeIntegralInRange<uint64_t>(0, MAX_CASE_BLOCK);
  } else if (tsm::fuzz::oneInputIn(data, size, 64)) {
    d.grownLimit = MAX_CASE_GROWN_BYTES;
  } else {
    block.capacity = in.ConsumeIntegralInRange<uint64_t>(STREAM_MIN_READ_BYTES, MAX_CASE_BLOCK);
    d.grownLimit = block.capacity - STREAM_MIN_READ_BYTES;
  }
  if (!d.growable || block.capacity) block.data = static_cast<uint8_t*>(std::malloc(block.capacity));
  while (in.remaining_bytes() && d.script.size() < MAX_CASE_ANSWERS) {
    Answer a{0, false, false, in.ConsumeIntegralInRange<int>(-1, 3)};
    switch (in.ConsumeIntegralInRange<int>(0, 15)) {
      case 0: a.value = 0; break;
      case 1: a.value = -3; break;
      case 2: a.value = STREAM_EINVAL; break;
      case 3: a.value = in.ConsumeIntegralInRange<long>(-200, -1); break;
      case 4: a.value = in.ConsumeIntegral<long>() | (long{1} << 63); break;
      case 5:  // a run of holes
        d.script.resize(std::min(MAX_CASE_ANSWERS, d.script.size() + in.ConsumeIntegralInRange<int>(1, 70)), {-3, false, false, a.section});
        continue;
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
  FUZZ_REQUIRE(!block.used || (block.data[0] == patternByte(0) && block.data[block.used - 1] == patternByte(block.used - 1)));
  FUZZ_REQUIRE(!d.reads || section == d.last.section);
  uint32_t errors = 0;
  const Answer* lastError = nullptr;
  for (size_t k = 0; k < d.next; ++k) errors += readPast(d.script[k].value) && (lastError = &d.script[k]);
  char line[sizeof fuzzLog.lastError] = "";
  if (lastError) std::snprintf(line, sizeof line, " !Error encountered in stream: %ld (section %i)\n", lastError->value, lastError->section);
  FUZZ_REQUIRE(fuzzLog.errorLines == errors && fuzzLog.infoLines == 0 && std::strcmp(line, fuzzLog.lastError) == 0);
  const size_t n = d.next, run = MAX_STREAM_ERRORS_IN_A_ROW;
  switch (end) {
    case DecodeEnd::END_OF_STREAM: FUZZ_REQUIRE(d.reads && d.last.value == 0); break;
    case DecodeEnd::INVALID: FUZZ_REQUIRE(d.reads && d.last.value == STREAM_EINVAL); break;
    case DecodeEnd::BLOCK_FULL: FUZZ_REQUIRE(!d.growable && block.used == block.capacity); break;
    case DecodeEnd::TOO_MANY_ERRORS:
      FUZZ_REQUIRE(n >= run && (n == run || d.script[n - run - 1].value > 0));
      for (size_t k = n - run; k < n; ++k) FUZZ_REQUIRE(readPast(d.script[k].value));
      break;
    default: FUZZ_REQUIRE(false);  // too large or out of memory: never in a few MiB
  }
  std::free(block.data);
}
