// The text subsystem's two entries from the host: command 10 of the command stream, whose byte range
// is clipped to STRING_BUFFER here, and the host function measureText. Both hand the bytes to
// layout.cpp. Checks report the "gfx" module.
#include <cstdlib>

#include "bridge/args.h"
#include "bridge/buffers.h"
#include "base/check.h"
#include "text/glyphs.h"
#include "text/text.h"

namespace tsm::text {
namespace {
constexpr const char* checkModule = "gfx";
// Strings up to this many bytes (terminator included) are measured from a buffer on the stack;
// longer ones from one allocation per call.
constexpr size_t MEASURE_STACK_BYTES = 1024;
}  // namespace

int32_t layoutTextCommand(uint32_t offset, int64_t length, float x, float y, float size, uint16_t fontWord,
                          uint32_t maxWidth) {
  // Only the bytes inside the block are laid out, whatever range the host wrote.
  const uint8_t* base = bridge::blockData(bridge::STRING_BUFFER);
  const uint64_t bytes = bridge::blockBytes(bridge::STRING_BUFFER);
  if (!base || length <= 0 || offset >= bytes) return 0;
  const uint64_t available = bytes - offset;
  const uint64_t count = static_cast<uint64_t>(length) < available ? static_cast<uint64_t>(length) : available;
  return layoutText(base + offset, count, x, y, size, fontWord, maxWidth);
}

napi_value measureText(napi_env env, napi_callback_info info) {
  bridge::Args<3> args(env, info, checkModule);
  const size_t length = bridge::utf8Length(env, args[0], checkModule);
  char onStack[MEASURE_STACK_BYTES];
  char* text = length < MEASURE_STACK_BYTES ? onStack : static_cast<char*>(std::malloc(length + 1));
  CHECK(text && "Unable to allocate string");
  const size_t copied = bridge::toUtf8(env, args[0], text, length + 1, checkModule);
  const float size = static_cast<float>(bridge::toF64(env, args[1], checkModule));
  const uint32_t font = bridge::toU32(env, args[2], checkModule) & 0xFFFF;
  const float width = measureRun(reinterpret_cast<const uint8_t*>(text), copied, size, font);
  if (text != onStack) std::free(text);
  return bridge::makeDouble(env, width, checkModule);
}
}  // namespace tsm::text
