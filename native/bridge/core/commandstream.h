// The command stream's walk: opcode words, operand counts, results at the opcode's index, and the
// bounds of the two blocks. Pure: what each command does is the caller's `execute` function.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/words.h"

namespace tsm::bridge {
// Opcodes of the command stream.
enum Opcode : int32_t {
  OP_PLAY_SOUND = 1,
  OP_PAUSE_SOURCE = 2,
  OP_STOP_SOURCE = 3,
  OP_SET_SOURCE_GAIN = 4,
  OP_STOP_ALL = 5,
  OP_PAUSE_ALL = 6,
  OP_RESUME_ALL = 7,
  OP_TOGGLE_FULLSCREEN = 8,
  OP_LOG_TEXT = 9,
  OP_LAYOUT_TEXT = 10,
  OP_NONE = 11,
  OP_TEXT_COLOR = 12,
  OP_RESERVED = 13,
  // Extensions. 14 stays unassigned: it is skipped like any unknown opcode.
  OP_LISTENER = 15,        // listener position x, y, z and facing direction x, y, z
  OP_LISTENER_UP = 16,     // listener up vector x, y, z
  OP_PLAY_SOUND_AT = 17,   // as OP_PLAY_SOUND, at a world position the listener moves through
  OP_LAST = OP_PLAY_SOUND_AT,
};

// Longest command: opcode and seven operands.
constexpr uint32_t MAX_COMMAND_WORDS = 8;

// Words per opcode, indexed by opcode; 0 marks an opcode that is skipped.
inline constexpr uint8_t COMMAND_LENGTH[OP_LAST + 1] = {0, 7, 2, 2, 3, 1, 1, 1, 1, 3, 8, 0, 5, 5, 0, 7, 4, 7};

// Words taken by a command with this opcode, the opcode included. Unknown opcodes take one word.
inline uint32_t commandWords(int32_t opcode) {
  // One unsigned comparison bounds both ends of the table.
  if (static_cast<uint32_t>(opcode) > OP_LAST || COMMAND_LENGTH[opcode] == 0) return 1;
  return COMMAND_LENGTH[opcode];
}

// Runs one command: `operands` holds the words after the opcode (commandWords(opcode) - 1 of them).
using ExecuteCommand = double (*)(int32_t opcode, const double* operands, void* context);

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
// one result per command into `results` at the opcode's word index. Opcodes outside 1..OP_LAST,
// 11 and 14 are skipped one word with result 0 and never reach `execute`. The walk stops before a command
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
      case OP_PLAY_SOUND: fits = detail::runCommand<OP_PLAY_SOUND>(words, wordCapacity, i, results, execute); break;
      case OP_PAUSE_SOURCE: fits = detail::runCommand<OP_PAUSE_SOURCE>(words, wordCapacity, i, results, execute); break;
      case OP_STOP_SOURCE: fits = detail::runCommand<OP_STOP_SOURCE>(words, wordCapacity, i, results, execute); break;
      case OP_SET_SOURCE_GAIN:
        fits = detail::runCommand<OP_SET_SOURCE_GAIN>(words, wordCapacity, i, results, execute);
        break;
      case OP_STOP_ALL: fits = detail::runCommand<OP_STOP_ALL>(words, wordCapacity, i, results, execute); break;
      case OP_PAUSE_ALL: fits = detail::runCommand<OP_PAUSE_ALL>(words, wordCapacity, i, results, execute); break;
      case OP_RESUME_ALL: fits = detail::runCommand<OP_RESUME_ALL>(words, wordCapacity, i, results, execute); break;
      case OP_TOGGLE_FULLSCREEN:
        fits = detail::runCommand<OP_TOGGLE_FULLSCREEN>(words, wordCapacity, i, results, execute);
        break;
      case OP_LOG_TEXT: fits = detail::runCommand<OP_LOG_TEXT>(words, wordCapacity, i, results, execute); break;
      case OP_LAYOUT_TEXT: fits = detail::runCommand<OP_LAYOUT_TEXT>(words, wordCapacity, i, results, execute); break;
      case OP_TEXT_COLOR: fits = detail::runCommand<OP_TEXT_COLOR>(words, wordCapacity, i, results, execute); break;
      case OP_RESERVED: fits = detail::runCommand<OP_RESERVED>(words, wordCapacity, i, results, execute); break;
      case OP_LISTENER: fits = detail::runCommand<OP_LISTENER>(words, wordCapacity, i, results, execute); break;
      case OP_LISTENER_UP: fits = detail::runCommand<OP_LISTENER_UP>(words, wordCapacity, i, results, execute); break;
      case OP_PLAY_SOUND_AT:
        fits = detail::runCommand<OP_PLAY_SOUND_AT>(words, wordCapacity, i, results, execute);
        break;
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

// The walk with a plain function for `execute`, passed `context` on every call.
uint32_t runCommandStream(const uint8_t* words, uint64_t wordBytes, int32_t count, uint8_t* results,
                          uint64_t resultBytes, ExecuteCommand execute, void* context);
}  // namespace tsm::bridge
