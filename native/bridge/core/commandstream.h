// The command stream's walk: opcode words, operand counts, results at the opcode's index, and the
// bounds of the two blocks. Pure: what each command does is the caller's `execute` function.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/words.h"
#include "contract.h"

namespace tsm::bridge {
// Opcodes, their word counts and the longest command come from the host contract.
using contract::COMMAND_LENGTH;
using contract::MAX_COMMAND_WORDS;
using contract::Opcode;
using enum contract::Opcode;

// Words taken by a command with this opcode, the opcode included. Unknown opcodes take one word.
inline uint32_t commandWords(int32_t opcode) {
  // One unsigned comparison bounds both ends of the table.
  if (static_cast<uint32_t>(opcode) > OP_LAST || COMMAND_LENGTH[opcode] == 0) return 1;
  return COMMAND_LENGTH[opcode];
}

namespace detail {
// Runs the command with opcode OP at word `i`, or answers false when its words run past the block.
// OP and its length are constants here, so the walk's position moves by a constant on each
// opcode's path: the next opcode's load never waits for a length read from a table.
template <int32_t OP, typename Execute>
inline bool runCommand(const uint8_t* words, uint64_t wordCapacity, uint64_t& i, uint8_t* results,
                       Execute& execute) {
  constexpr uint32_t length = COMMAND_LENGTH[OP];
  static_assert(length != 0, "a skipped opcode has no command to run");
  if (i + length > wordCapacity) return false;
  double operands[MAX_COMMAND_WORDS - 1];
  const uint8_t* first = words + (i + 1) * sizeof(double);
  // A copy of constant size compiles to a few vector moves; only a command at the very end of the
  // block takes the copy of its own length, so that nothing past the block is read.
  if (i + MAX_COMMAND_WORDS <= wordCapacity) {
    std::memcpy(operands, first, sizeof operands);
  } else {
    std::memcpy(operands, first, (length - 1) * sizeof(double));
  }
  const double result = execute(OP, static_cast<const double*>(operands));
  std::memcpy(results + i * sizeof(double), &result, sizeof result);
  i += length;
  return true;
}
}  // namespace detail

// Walks `count` words of `words` (a block of `wordBytes` bytes of little-endian doubles) and writes
// one result per command into `results` at the opcode's word index. Opcodes the contract does not
// list (outside 1..OP_LAST, 11 and 14) are skipped one word with result 0 and never reach
// `execute`. The walk stops before a command
// whose words run past the command block or whose result index lies past the result block.
// Neither block needs any alignment. Returns the number of commands that ran (skips included).
// `execute` is anything callable as double(int32_t opcode, const double* operands); the walk is
// inline so that the caller's dispatch inlines into it, one copy per opcode.
template <typename Execute>
inline uint32_t walkCommandStream(const uint8_t* words, uint64_t wordBytes, int32_t count, uint8_t* results,
                                  uint64_t resultBytes, Execute&& execute) {
  const uint64_t wordCapacity = words ? wordBytes / sizeof(double) : 0;
  const uint64_t resultCapacity = results ? resultBytes / sizeof(double) : 0;
  // Past any of these three the walk ends; a command's own length is checked as it is read.
  uint64_t end = count > 0 ? static_cast<uint64_t>(count) : 0;
  if (end > wordCapacity) end = wordCapacity;
  if (end > resultCapacity) end = resultCapacity;
  uint32_t ran = 0;
  uint64_t i = 0;
  while (i < end) {
    double word;
    std::memcpy(&word, words + i * sizeof(double), sizeof word);
    bool fits = true;
    switch (wordToInt(word)) {
#define TSM_RUN_COMMAND(NAME) \
  case OP_##NAME: fits = detail::runCommand<OP_##NAME>(words, wordCapacity, i, results, execute); break;
      TSM_CONTRACT_COMMANDS(TSM_RUN_COMMAND)
#undef TSM_RUN_COMMAND
      default: {
        // Skipped: one word, result 0 (the word is inside the block: i < end).
        const double zero = 0.0;
        std::memcpy(results + i * sizeof(double), &zero, sizeof zero);
        ++i;
      }
    }
    if (!fits) break;
    ++ran;
  }
  return ran;
}
}  // namespace tsm::bridge
