// The command stream's walk. See commandstream.h.
#include "bridge/core/commandstream.h"

#include <cstring>

#include "bridge/core/words.h"

namespace tsm::bridge {
namespace {
// Words per opcode, indexed by opcode; 0 marks an opcode that is skipped.
constexpr uint32_t commandLength[] = {0, 7, 2, 2, 3, 1, 1, 1, 1, 3, 8, 0, 5, 5, 0, 7, 4, 7};
static_assert(sizeof commandLength / sizeof commandLength[0] == OP_LAST + 1);
}  // namespace

uint32_t commandWords(int32_t opcode) {
  if (opcode < 1 || opcode > OP_LAST || commandLength[opcode] == 0) return 1;
  return commandLength[opcode];
}

uint32_t runCommandStream(const uint8_t* words, uint64_t wordBytes, int32_t count, uint8_t* results,
                          uint64_t resultBytes, ExecuteCommand execute, void* context) {
  const uint64_t wordCapacity = words ? wordBytes / sizeof(double) : 0;
  const uint64_t resultCapacity = results ? resultBytes / sizeof(double) : 0;
  uint32_t ran = 0;
  uint64_t i = 0;
  while (count > 0 && i < static_cast<uint64_t>(count)) {
    if (i >= wordCapacity || i >= resultCapacity) break;
    double word;
    std::memcpy(&word, words + i * sizeof(double), sizeof word);
    const int32_t opcode = wordToInt(word);
    const uint32_t length = commandWords(opcode);
    if (i + length > wordCapacity) break;
    double result = 0.0;
    const bool known = opcode >= 1 && opcode <= OP_LAST && commandLength[opcode] != 0;
    if (known) {
      double operands[MAX_COMMAND_WORDS - 1];
      std::memcpy(operands, words + (i + 1) * sizeof(double), (length - 1) * sizeof(double));
      result = execute(opcode, operands, context);
    }
    std::memcpy(results + i * sizeof(double), &result, sizeof result);
    ++ran;
    i += length;
  }
  return ran;
}
}  // namespace tsm::bridge
