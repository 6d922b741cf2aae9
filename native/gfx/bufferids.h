// The host's bufferIDs table: 16-bit shared-buffer ids, one per role (entry 0 the viewportSize
// pair, 1-7 the uniform sources, 8-28 the vertex sources), held in a shared block of the host's.
// setBuffers registers it (setBufferTable); the pipeline builders and uniform sets read it through
// bufferId.
#pragma once
#include <cstdint>

#include "contract.h"

namespace tsm::gfx {
// Entries of the table that setBuffers logs.
constexpr uint32_t LOGGED_BUFFER_IDS = 10;
// Entry that names the block the viewportSize pair lives in.
constexpr uint32_t VIEWPORT_SIZE_ENTRY = contract::ENTRY_VIEWPORT;

// Entry `entry` of the registered table, read from the block at the time of the call (the host may
// change it). 0 when no table is registered, or the entry lies past the block's end. The value is
// the host's: callers check it against bufferCount and the block's existence before using it.
uint16_t bufferId(uint32_t entry);

// setBuffers' work: registers block `id` (below bufferCount, checked by the caller) as the table,
// logs its first ten entries and moves the viewportSize pair into the block entry 0 names (when
// that entry lies inside the table and names a block of 8 bytes or more that is not one of the
// fixed 0-7).
void setBufferTable(uint32_t id);
}  // namespace tsm::gfx
