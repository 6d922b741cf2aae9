// Fuzz target: the command stream's walk over any words, block sizes, alignments and counts against a
// reference walk: exactly its commands reach `execute` with their operands, results land at the opcode's
// index and nowhere else, the words are never written.
#include "bridge/core/commandstream.h"
#include "fuzzlog.h"

using namespace tsm::bridge;

namespace {
constexpr uint32_t MAX_CASE_BYTES = 512 * 8 + 7;
constexpr uint8_t UNTOUCHED = 0xA5;

bool known(int32_t op) { return op >= 1 && op <= OP_LAST && COMMAND_LENGTH[op] != 0; }

// Truncated toward zero; 0 (skipped) for NaN and anything outside int32.
int32_t opcodeOf(double w) { return w > -2147483649.0 && w < 2147483648.0 ? static_cast<int32_t>(std::trunc(w)) : 0; }

double wordFrom(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return in.ConsumeIntegralInRange<int>(-2, 19);
    case 1: return in.ConsumeIntegralInRange<int>(-2, 19) + in.ConsumeProbability<double>() * (in.ConsumeBool() ? 1 : -1);
    case 2: return NAN;
    case 3: return in.ConsumeBool() ? INFINITY : -INFINITY;
    case 4:
      return in.ConsumeBool() ? 2147483648.0 + in.ConsumeIntegralInRange<int>(0, 13) : -2147483649.0 - in.ConsumeIntegralInRange<int>(0, 2);
    case 5: return in.ConsumeBool() ? 4294967297.0 : -4294967295.0;  // 1 when wrapped to 32 bits
    default: return std::bit_cast<double>(in.ConsumeIntegral<uint64_t>());
  }
}
}  // namespace

FUZZ_TARGET {
  const auto upTo = [&](uint32_t most) { return in.ConsumeIntegralInRange<uint32_t>(0, most); };
  const uint32_t wordBytes = upTo(MAX_CASE_BYTES), resultBytes = upTo(MAX_CASE_BYTES), wordShift = upTo(7), resultShift = upTo(7);
  int32_t count;
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: count = in.ConsumeIntegral<int32_t>(); break;
    case 1: count = static_cast<int32_t>(wordBytes / 8) + in.ConsumeIntegralInRange<int32_t>(-3, 3); break;
    default: count = in.ConsumeIntegralInRange<int32_t>(-1, MAX_CASE_BYTES / 8 + 8); break;
  }
  // Blocks (rarely none) at any alignment, ending exactly where their sizes say.
  tsm::fuzz::Exact wordBlock(wordShift + wordBytes), resultBlock(resultShift + resultBytes);
  uint8_t* words = in.ConsumeProbability<float>() < 0.02f ? nullptr : wordBlock.p + wordShift;
  uint8_t* results = in.ConsumeProbability<float>() < 0.02f ? nullptr : resultBlock.p + resultShift;
  const uint32_t wordCapacity = words ? wordBytes / 8 : 0, resultCapacity = results ? resultBytes / 8 : 0;
  std::vector<double> wordValues(wordCapacity);
  for (uint32_t i = 0; i < wordCapacity; ++i) {
    const double w = wordValues[i] = in.remaining_bytes() ? wordFrom(in) : 0.0;
    std::memcpy(words + i * 8, &w, 8);
  }
  if (words) std::memset(words + wordCapacity * 8, 0x7F, wordBytes - wordCapacity * 8);
  if (results) std::memset(results, UNTOUCHED, resultBytes);
  const std::vector<uint8_t> wordsBefore(words, words ? words + wordBytes : words);

  // Each call logged as its opcode, then its operands; each result distinct and no skip's 0.
  std::vector<double> calls;
  uint32_t callCount = 0;
  const uint32_t ran = walkCommandStream(words, wordBytes, count, results, resultBytes, [&](int32_t op, const double* o) {
    FUZZ_REQUIRE(known(op));
    calls.push_back(op);
    calls.insert(calls.end(), o, o + COMMAND_LENGTH[op] - 1);
    return 1000.5 + ++callCount;
  });

  std::vector<uint8_t> expected(resultBytes, UNTOUCHED);
  size_t expectedRan = 0, expectedCalls = 0, at = 0;
  for (uint64_t i = 0; count > 0 && i < static_cast<uint64_t>(count) && i < wordCapacity && i < resultCapacity;) {
    const int32_t op = opcodeOf(wordValues[i]);
    const uint32_t length = known(op) ? COMMAND_LENGTH[op] : 1;
    if (i + length > wordCapacity) break;
    double result = 0.0;
    if (known(op)) {
      FUZZ_REQUIRE(at + length <= calls.size() && calls[at] == op);
      FUZZ_REQUIRE(std::memcmp(&calls[at + 1], &wordValues[i + 1], (length - 1) * sizeof(double)) == 0);
      at += length;
      result = 1000.5 + ++expectedCalls;
    }
    std::memcpy(&expected[i * 8], &result, 8);
    ++expectedRan, i += length;
  }
  FUZZ_REQUIRE(ran == expectedRan && at == calls.size());
  FUZZ_REQUIRE(!results || resultBytes == 0 || std::memcmp(results, expected.data(), resultBytes) == 0);
  FUZZ_REQUIRE(!words || wordBytes == 0 || std::memcmp(words, wordsBefore.data(), wordBytes) == 0);
  FUZZ_REQUIRE(commandWords(in.ConsumeIntegral<int32_t>()) <= MAX_COMMAND_WORDS);
}
