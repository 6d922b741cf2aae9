// Fuzz target: the command stream's walk over arbitrary words, block sizes, alignments and counts.
// A reference walk written from the documented operand counts says which commands run; the target
// checks that exactly those reach `execute` with their own operand words, that results land at the
// opcode's index and nowhere else, and that the command block is never written. The blocks are
// allocated to their exact byte size, so any read or write past either is a sanitizer report. The
// words also go through the saturating conversion of other host floats.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bridge/core/commandstream.h"
#include "base/words.h"
#include "fuzzlog.h"

using namespace tsm;
using namespace tsm::bridge;

namespace {
// Words per command, the opcode included, as the host's documentation lists them (0: skipped).
// 15-18 are the extension commands (listener, listener up, play at a world position, draw
// retained meshes).
constexpr uint32_t documentedWords[] = {0, 7, 2, 2, 3, 1, 1, 1, 1, 3, 8, 0, 5, 5, 0, 7, 4, 7, 5};
constexpr int32_t LAST_OPCODE = sizeof documentedWords / sizeof documentedWords[0] - 1;
// Largest command block a case uses, in words.
constexpr uint32_t MAX_CASE_WORDS = 512;
// Marks result slots the walk did not write.
constexpr uint8_t UNTOUCHED = 0xA5;

struct Call {
  int32_t opcode;
  double operands[MAX_COMMAND_WORDS - 1];
};

struct Context {
  std::vector<Call> calls;
};

double execute(int32_t opcode, const double* operands, void* context) {
  auto* c = static_cast<Context*>(context);
  FUZZ_REQUIRE(opcode >= 1 && opcode <= LAST_OPCODE && documentedWords[opcode] != 0);
  Call call{opcode, {}};
  std::memcpy(call.operands, operands, (documentedWords[opcode] - 1) * sizeof(double));
  c->calls.push_back(call);
  // A result no skipped command can have, distinct per call.
  return 1000.5 + static_cast<double>(c->calls.size());
}

// Opcode of a word: truncated toward zero; 0 (skipped) for NaN and anything outside int32.
int32_t documentedOpcode(double w) {
  if (!(w > -2147483649.0 && w < 2147483648.0)) return 0;
  return static_cast<int32_t>(std::trunc(w));
}

double wordFrom(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return static_cast<double>(in.ConsumeIntegralInRange<int>(-2, 19));
    case 1: return in.ConsumeIntegralInRange<int>(-2, 19) + in.ConsumeProbability<double>() * (in.ConsumeBool() ? 1 : -1);
    case 2: return NAN;
    case 3: return in.ConsumeBool() ? INFINITY : -INFINITY;
    case 4: return in.ConsumeBool() ? 2147483648.0 + in.ConsumeIntegralInRange<int>(0, 13) : -2147483649.0 - in.ConsumeIntegralInRange<int>(0, 2);
    case 5: return in.ConsumeBool() ? 4294967297.0 : -4294967295.0;  // wrap to 1 in 32 bits
    default: {
      double w;
      uint64_t bits = in.ConsumeIntegral<uint64_t>();
      std::memcpy(&w, &bits, sizeof w);
      return w;
    }
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const uint32_t wordBytes = in.ConsumeIntegralInRange<uint32_t>(0, MAX_CASE_WORDS * 8 + 7);
  const uint32_t resultBytes = in.ConsumeIntegralInRange<uint32_t>(0, MAX_CASE_WORDS * 8 + 7);
  const uint32_t wordShift = in.ConsumeIntegralInRange<uint32_t>(0, 7);
  const uint32_t resultShift = in.ConsumeIntegralInRange<uint32_t>(0, 7);
  int32_t count;
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: count = in.ConsumeIntegral<int32_t>(); break;
    case 1: count = static_cast<int32_t>(wordBytes / 8) + in.ConsumeIntegralInRange<int32_t>(-3, 3); break;
    default: count = in.ConsumeIntegralInRange<int32_t>(-1, MAX_CASE_WORDS + 8); break;
  }
  const bool nullWords = in.ConsumeProbability<float>() < 0.02f;
  const bool nullResults = in.ConsumeProbability<float>() < 0.02f;

  // Blocks at an arbitrary alignment that end exactly where their size says.
  uint8_t* wordAlloc = static_cast<uint8_t*>(std::malloc(wordShift + wordBytes));
  uint8_t* resultAlloc = static_cast<uint8_t*>(std::malloc(resultShift + resultBytes));
  uint8_t* words = nullWords ? nullptr : wordAlloc + wordShift;
  uint8_t* results = nullResults ? nullptr : resultAlloc + resultShift;
  const uint32_t wordCapacity = words ? wordBytes / 8 : 0;
  const uint32_t resultCapacity = results ? resultBytes / 8 : 0;
  std::vector<double> wordValues(wordCapacity);
  for (uint32_t i = 0; i < wordCapacity; ++i) {
    wordValues[i] = in.remaining_bytes() ? wordFrom(in) : 0.0;
    std::memcpy(words + i * 8, &wordValues[i], 8);
  }
  // Bytes past the last whole word are part of the block too.
  if (words) std::memset(words + wordCapacity * 8, 0x7F, wordBytes - wordCapacity * 8);
  if (results) std::memset(results, UNTOUCHED, resultBytes);
  std::vector<uint8_t> wordsBefore(words ? words : wordAlloc, (words ? words : wordAlloc) + (words ? wordBytes : 0));

  Context context;
  const uint32_t ran = walkCommandStream(words, wordBytes, count, results, resultBytes,
                                       [&](int32_t op, const double* o) { return execute(op, o, &context); });

  // Reference walk.
  uint32_t expectedRan = 0, calls = 0;
  std::vector<bool> written(resultCapacity, false);
  for (uint64_t i = 0; count > 0 && i < static_cast<uint64_t>(count);) {
    if (i >= wordCapacity || i >= resultCapacity) break;
    const int32_t op = documentedOpcode(wordValues[i]);
    const bool known = op >= 1 && op <= LAST_OPCODE && documentedWords[op] != 0;
    const uint32_t length = known ? documentedWords[op] : 1;
    if (i + length > wordCapacity) break;
    double result;
    std::memcpy(&result, results + i * 8, 8);
    if (known) {
      FUZZ_REQUIRE(calls < context.calls.size());
      const Call& call = context.calls[calls];
      FUZZ_REQUIRE(call.opcode == op);
      FUZZ_REQUIRE(length == 1 || std::memcmp(call.operands, &wordValues[i + 1], (length - 1) * sizeof(double)) == 0);
      ++calls;
      FUZZ_REQUIRE(result == 1000.5 + calls);
    } else {
      FUZZ_REQUIRE(result == 0.0 && !std::signbit(result));
    }
    written[i] = true;
    ++expectedRan;
    i += length;
  }
  FUZZ_REQUIRE(ran == expectedRan);
  FUZZ_REQUIRE(calls == context.calls.size());
  // No other result slot, and no byte past the last whole slot, was written.
  for (uint32_t i = 0; i < resultCapacity; ++i) {
    if (written[i]) continue;
    for (int b = 0; b < 8; ++b) FUZZ_REQUIRE(results[i * 8 + b] == UNTOUCHED);
  }
  for (uint32_t b = resultCapacity * 8; results && b < resultBytes; ++b) FUZZ_REQUIRE(results[b] == UNTOUCHED);
  FUZZ_REQUIRE(!words || wordBytes == 0 || std::memcmp(words, wordsBefore.data(), wordBytes) == 0);
  FUZZ_REQUIRE(commandWords(in.ConsumeIntegral<int32_t>()) <= MAX_COMMAND_WORDS);

  // The saturating conversion other host floats take: NaN 0, the ends of the range past them,
  // truncation toward zero between.
  for (double w : wordValues) {
    const int32_t v = saturateToInt32(w);
    if (std::isnan(w)) FUZZ_REQUIRE(v == 0);
    else if (w >= 2147483647.0) FUZZ_REQUIRE(v == INT32_MAX);
    else if (w <= -2147483648.0) FUZZ_REQUIRE(v == INT32_MIN);
    else FUZZ_REQUIRE(v == static_cast<int32_t>(std::trunc(w)));
  }

  std::free(wordAlloc);
  std::free(resultAlloc);
  return 0;
}
