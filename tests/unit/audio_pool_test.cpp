// The source pool's two lists against a simple model: random takes and reclaims keep every source
// in exactly one list, the playing list in start order and the free list a stack.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "audio/core/sourcepool.h"

using namespace tsm::audio;

namespace {
SourcePool filledPool() {
  SourcePool pool{};
  uint32_t names[SOURCE_COUNT];
  for (uint32_t i = 0; i < SOURCE_COUNT; ++i) names[i] = 100 + i;
  fillPool(pool, names);
  return pool;
}

std::vector<uint32_t> freeList(const SourcePool& p) { return {p.freeSources, p.freeSources + p.freeCount}; }
std::vector<uint32_t> playingList(const SourcePool& p) { return {p.playingSources, p.playingSources + p.playingCount}; }

bool finishedIfInSet(uint32_t source, void* context) { return static_cast<std::set<uint32_t>*>(context)->count(source) > 0; }
}  // namespace

TEST(SourcePool, FilledPoolIsAllFreeAndTakesFromTheTop) {
  SourcePool pool = filledPool();
  EXPECT_EQ(pool.freeCount, SOURCE_COUNT);
  EXPECT_EQ(pool.playingCount, 0u);
  uint32_t s = 0;
  ASSERT_TRUE(takeSource(pool, s));
  EXPECT_EQ(s, 100 + SOURCE_COUNT - 1);
  ASSERT_TRUE(takeSource(pool, s));
  EXPECT_EQ(s, 100 + SOURCE_COUNT - 2);
  EXPECT_EQ(playingList(pool), (std::vector<uint32_t>{100 + SOURCE_COUNT - 1, 100 + SOURCE_COUNT - 2}));
}

TEST(SourcePool, AllTakenThenNoneLeftAndNothingDisturbed) {
  SourcePool pool = filledPool();
  uint32_t s = 0;
  for (uint32_t i = 0; i < SOURCE_COUNT; ++i) ASSERT_TRUE(takeSource(pool, s));
  const auto playing = playingList(pool);
  s = 12345;
  EXPECT_FALSE(takeSource(pool, s));
  EXPECT_EQ(s, 12345u);
  EXPECT_EQ(playingList(pool), playing);
  EXPECT_EQ(std::set<uint32_t>(playing.begin(), playing.end()).size(), SOURCE_COUNT);
}

TEST(SourcePool, EmptyPoolGivesNothingAndReclaimsNothing) {
  SourcePool pool{};
  emptyPool(pool);
  uint32_t s = 0;
  EXPECT_FALSE(takeSource(pool, s));
  std::set<uint32_t> all;
  EXPECT_EQ(reclaimFinished(pool, finishedIfInSet, &all), 0u);
  pool = filledPool();
  emptyPool(pool);
  EXPECT_FALSE(takeSource(pool, s));
}

TEST(SourcePool, ReclaimKeepsOrderAndPushesFinishedInPlayingOrder) {
  SourcePool pool = filledPool();
  uint32_t s = 0;
  for (int i = 0; i < 6; ++i) takeSource(pool, s);
  const auto playing = playingList(pool);
  std::set<uint32_t> done = {playing[1], playing[2], playing[4]};
  EXPECT_EQ(reclaimFinished(pool, finishedIfInSet, &done), 3u);
  EXPECT_EQ(playingList(pool), (std::vector<uint32_t>{playing[0], playing[3], playing[5]}));
  const auto free = freeList(pool);
  ASSERT_EQ(free.size(), SOURCE_COUNT - 3);
  EXPECT_EQ((std::vector<uint32_t>(free.end() - 3, free.end())), (std::vector<uint32_t>{playing[1], playing[2], playing[4]}));
  // The last returned is the next taken.
  takeSource(pool, s);
  EXPECT_EQ(s, playing[4]);
}

TEST(SourcePool, RandomTakesAndReclaimsMatchTheModel) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    SourcePool pool = filledPool();
    std::vector<uint32_t> modelFree = freeList(pool), modelPlaying;
    for (int step = 0; step < 300; ++step) {
      if (rng() % 3 != 0) {
        uint32_t s = 0;
        const bool took = takeSource(pool, s);
        ASSERT_EQ(took, !modelFree.empty());
        if (took) {
          ASSERT_EQ(s, modelFree.back());
          modelFree.pop_back();
          modelPlaying.push_back(s);
        }
      } else {
        std::set<uint32_t> done;
        for (uint32_t p : modelPlaying) if (rng() % 4 == 0) done.insert(p);
        std::vector<uint32_t> kept;
        for (uint32_t p : modelPlaying) {
          if (done.count(p)) modelFree.push_back(p); else kept.push_back(p);
        }
        modelPlaying = kept;
        ASSERT_EQ(reclaimFinished(pool, finishedIfInSet, &done), done.size());
      }
      ASSERT_EQ(freeList(pool), modelFree);
      ASSERT_EQ(playingList(pool), modelPlaying);
      ASSERT_EQ(pool.freeCount + pool.playingCount, SOURCE_COUNT);
    }
  }
}
