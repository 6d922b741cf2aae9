// The bufferIDs table. Owns only the id of the block that holds the table, never a copy or a saved
// pointer: each read goes through the shared-buffer table, so the host's later edits are seen and
// a released block reads as absent. Does not check what the entries name; their readers do.
// Callers: setBuffers (gfx/gfxapi, before `ready`), the pipeline builders and uniform sets (bufferId).
#include "gfx/bufferids.h"

#include <cstring>

#include "bridge/buffers.h"
#include "base/log.h"
#include "base/words.h"
#include "gfx/window.h"

namespace tsm::gfx {
namespace {
// Block that holds the table; -1 until setBuffers runs.
int64_t tableBlock = -1;

// Entry `entry` into `value`; false when there is no table or the entry lies past its block.
bool readEntry(uint32_t entry, uint16_t& value) {
  if (tableBlock < 0) return false;
  const uint32_t id = static_cast<uint32_t>(tableBlock);
  const uint8_t* data = bridge::blockData(id);
  const uint64_t offset = static_cast<uint64_t>(entry) * sizeof(uint16_t);
  if (!data || offset + sizeof(uint16_t) > bridge::blockBytes(id)) return false;
  std::memcpy(&value, data + offset, sizeof value);
  return true;
}
}  // namespace

uint16_t bufferId(uint32_t entry) {
  uint16_t value = 0;
  return readEntry(entry, value) ? value : 0;
}

void setBufferTable(uint32_t id) {
  tableBlock = id;

  logInfo("bufferIDs:\n  ");
  for (uint32_t entry = 0; entry < LOGGED_BUFFER_IDS; ++entry) logInfo("%u ", static_cast<unsigned>(bufferId(entry)));
  logInfo("\n");

  // The fixed blocks 0-7 have layouts of their own: the pair never moves into one of them, so a
  // table the host left unfilled cannot overwrite the fill lengths in HEADER_BUFFER.
  uint16_t home = 0;
  if (readEntry(VIEWPORT_SIZE_ENTRY, home) && home >= bridge::FIXED_BUFFER_COUNT) moveViewportSize(home);
  const float* size = viewportSize();
  // The pair may be the host's own numbers (a table whose entry 0 no longer names a home leaves it
  // where it was): NaN and out-of-range values are clamped, not converted blindly.
  renderSize[0] = saturateToInt32(size[0]);
  renderSize[1] = saturateToInt32(size[1]);
}
}  // namespace tsm::gfx
