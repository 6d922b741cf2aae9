// The command stream's walk through a plain function. See commandstream.h.
#include "bridge/core/commandstream.h"

namespace tsm::bridge {
uint32_t runCommandStream(const uint8_t* words, uint64_t wordBytes, int32_t count, uint8_t* results,
                          uint64_t resultBytes, ExecuteCommand execute, void* context) {
  return walkCommandStream(words, wordBytes, count, results, resultBytes,
                           [&](int32_t opcode, const double* operands) { return execute(opcode, operands, context); });
}
}  // namespace tsm::bridge
