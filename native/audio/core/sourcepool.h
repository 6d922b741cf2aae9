// The source pool's bookkeeping: which of the 64 sources are free and which are playing. Pure: the
// caller owns the OpenAL side (generating names, asking a source whether it has finished). Used by
// the audio subsystem's start-up, the play command and the reclaim step at the start of every tick.
#pragma once
#include <cstdint>

namespace tsm::audio {
// Sources in the pool: every sound plays on one of them, so at most this many sound at once.
constexpr uint32_t SOURCE_COUNT = 64;

// Every source is in exactly one of the two lists once the pool is filled:
// freeCount + playingCount == SOURCE_COUNT. `freeSources` is a stack (taken from and returned to
// its end); `playingSources` keeps the order in which sources were taken.
struct SourcePool {
  uint32_t freeSources[SOURCE_COUNT];
  uint32_t freeCount;
  uint32_t playingSources[SOURCE_COUNT];
  uint32_t playingCount;
};

// Fills the free list with `names` (SOURCE_COUNT of them); nothing is playing.
void fillPool(SourcePool& pool, const uint32_t* names);
// Empties both lists (after shutdown nothing can be taken).
void emptyPool(SourcePool& pool);
// Moves the last free source to the end of the playing list and stores it in `source`; false when
// no source is free.
bool takeSource(SourcePool& pool, uint32_t& source);
// Returns every playing source for which `finished` is true to the free list, in playing order,
// and closes the gaps so the playing list keeps its order. Returns how many were returned.
using SourceFinished = bool (*)(uint32_t source, void* context);
uint32_t reclaimFinished(SourcePool& pool, SourceFinished finished, void* context);
}  // namespace tsm::audio
