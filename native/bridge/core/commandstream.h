// The command stream's walk: opcode words, operand counts, results at the opcode's index, and the
// bounds of the two blocks. Pure: what each command does is the caller's `execute` function.
#pragma once
#include <cstddef>
#include <cstdint>

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

// Words taken by a command with this opcode, the opcode included. Unknown opcodes take one word.
uint32_t commandWords(int32_t opcode);

// Runs one command: `operands` holds the words after the opcode (commandWords(opcode) - 1 of them).
using ExecuteCommand = double (*)(int32_t opcode, const double* operands, void* context);

// Walks `count` words of `words` (a block of `wordBytes` bytes of little-endian doubles) and writes
// one result per command into `results` at the opcode's word index. Opcodes outside 1..OP_LAST,
// 11 and 14 are skipped one word with result 0 and never reach `execute`. The walk stops before a command
// whose words run past the command block or whose result index lies past the result block.
// Neither block needs any alignment. Returns the number of commands that ran (skips included).
uint32_t runCommandStream(const uint8_t* words, uint64_t wordBytes, int32_t count, uint8_t* results,
                          uint64_t resultBytes, ExecuteCommand execute, void* context);
}  // namespace tsm::bridge
