// The source pool's two lists. See sourcepool.h.
#include "audio/core/sourcepool.h"

#include "base/check.h"

namespace tsm::audio {
namespace {
constexpr const char* checkModule = "audio";
}

void fillPool(SourcePool& pool, const uint32_t* names) {
  for (uint32_t i = 0; i < SOURCE_COUNT; ++i) pool.freeSources[i] = names[i];
  pool.freeCount = SOURCE_COUNT;
  pool.playingCount = 0;
}

void emptyPool(SourcePool& pool) {
  pool.freeCount = 0;
  pool.playingCount = 0;
}

bool takeSource(SourcePool& pool, uint32_t& source) {
  if (pool.freeCount == 0) return false;
  CHECK(pool.playingCount < SOURCE_COUNT);
  source = pool.freeSources[--pool.freeCount];
  pool.playingSources[pool.playingCount++] = source;
  return true;
}

uint32_t reclaimFinished(SourcePool& pool, SourceFinished finished, void* context) {
  uint32_t kept = 0;
  for (uint32_t i = 0; i < pool.playingCount; ++i) {
    const uint32_t source = pool.playingSources[i];
    if (finished(source, context)) {
      CHECK(pool.freeCount < SOURCE_COUNT);
      pool.freeSources[pool.freeCount++] = source;
    } else {
      pool.playingSources[kept++] = source;
    }
  }
  const uint32_t returned = pool.playingCount - kept;
  pool.playingCount = kept;
  return returned;
}
}  // namespace tsm::audio
