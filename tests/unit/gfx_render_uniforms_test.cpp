// Uniform sets: the vocabulary tables, the quality bookkeeping, and sends against a model of what
// each program holds.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "gfx/core/uniformset.h"

using namespace tsm::gfx;

namespace {
constexpr uint32_t SETS = 11;

// Eleven sets as binding leaves them: every scalar at its start value, unchanged; `present` picks
// which sets' programs declare the uniforms (kind signed int) and which lack them (kind none).
void bindAll(UniformSet sets[SETS], uint32_t presentMask) {
  std::memset(sets, 0, sizeof(UniformSet) * SETS);
  for (uint32_t s = 0; s < SETS; ++s) {
    for (uint32_t q = 0; q < SCALAR_UNIFORM_COUNT; ++q) {
      ScalarUniform& u = sets[s].scalars[q];
      const bool present = presentMask & (1u << s);
      u.location = present ? static_cast<int32_t>(q) : -1;
      u.kind = present ? SCALAR_INT : SCALAR_NONE;
      u.value.i = scalarStartValues[q];
      u.changed = 0;
    }
  }
}
}  // namespace

TEST(UniformVocabulary, NamesSourcesAndUnitsAreFixed) {
  EXPECT_STREQ(scalarUniformNames[SSAO_QUALITY], "ssaoQuality");
  EXPECT_STREQ(scalarUniformNames[SHADOW_QUALITY], "shadowQuality");
  EXPECT_STREQ(scalarUniformNames[ANTIALIAS], "antialias");
  EXPECT_EQ(scalarStartValues[SSAO_QUALITY], 2);
  EXPECT_EQ(scalarStartValues[SHADOW_QUALITY], 2);
  EXPECT_EQ(scalarStartValues[ANTIALIAS], 1);

  const char* names[] = {"view", "projection", "transform", "lightTransform", "uiTransform", "cameraPosition",
                         "cameraVector", "viewportSize"};
  const uint32_t entries[] = {1, 2, 3, 4, 5, 6, 7, 0};
  const uint32_t components[] = {16, 16, 16, 16, 16, 3, 3, 2};
  for (uint32_t i = 0; i < BUFFER_UNIFORM_COUNT; ++i) {
    EXPECT_STREQ(bufferUniformSources[i].name, names[i]);
    EXPECT_EQ(bufferUniformSources[i].tableEntry, entries[i]) << names[i];
    EXPECT_EQ(bufferUniformSources[i].components, components[i]) << names[i];
  }

  const char* samplers[] = {"shadowMap", "depth", "position", "albedo", "normals", "glyphs", "sprites", "screen"};
  const uint32_t units[] = {1, 2, 3, 4, 5, 10, 11, 7};
  for (uint32_t i = 0; i < SAMPLER_COUNT; ++i) {
    EXPECT_STREQ(samplerBindings[i].name, samplers[i]);
    EXPECT_EQ(samplerBindings[i].unit, units[i]) << samplers[i];
  }
}

TEST(UniformVocabulary, ABlockFeedsAUniformOnlyWhenItExistsAndIsLongEnough) {
  uint8_t block[64] = {};
  EXPECT_TRUE(blockFeeds(block, 64, 64));
  EXPECT_TRUE(blockFeeds(block, 100, 12));
  EXPECT_FALSE(blockFeeds(block, 63, 64));
  EXPECT_FALSE(blockFeeds(block, 8, 12));
  EXPECT_FALSE(blockFeeds(nullptr, 64, 64));
  EXPECT_FALSE(blockFeeds(nullptr, 0, 0));
}

TEST(QualitySettings, TheStartValueMarksNothing) {
  UniformSet sets[SETS];
  bindAll(sets, 0x7FF);
  EXPECT_EQ(markQuality(sets, SETS, SHADOW_QUALITY, 2), 0u);
  EXPECT_EQ(markQuality(sets, SETS, ANTIALIAS, 1), 0u);
  for (const UniformSet& s : sets)
    for (const ScalarUniform& u : s.scalars) EXPECT_EQ(u.changed, 0);
}

TEST(QualitySettings, ANewValueMarksEverySetWhetherOrNotItsProgramHasTheUniform) {
  UniformSet sets[SETS];
  bindAll(sets, 0b00000000101);  // only sets 0 and 2 declare the uniforms
  EXPECT_EQ(markQuality(sets, SETS, ANTIALIAS, 0), SETS);
  for (const UniformSet& s : sets) {
    EXPECT_EQ(s.scalars[ANTIALIAS].value.i, 0);
    EXPECT_EQ(s.scalars[ANTIALIAS].changed, 1);
    EXPECT_EQ(s.scalars[SSAO_QUALITY].changed, 0);
  }
  // The value is due only where the program has the uniform; taking it clears the flag everywhere.
  uint32_t due = 0;
  for (UniformSet& s : sets) due += takeChanged(s.scalars[ANTIALIAS]);
  EXPECT_EQ(due, 2u);
  for (UniformSet& s : sets) {
    EXPECT_EQ(s.scalars[ANTIALIAS].changed, 0);
    EXPECT_FALSE(takeChanged(s.scalars[ANTIALIAS]));
  }
  // Setting the same level again marks nothing.
  EXPECT_EQ(markQuality(sets, SETS, ANTIALIAS, 0), 0u);
}

TEST(QualitySettings, EachSetterWritesOnlyItsOwnUniform) {
  UniformSet sets[SETS];
  bindAll(sets, 0x7FF);
  markQuality(sets, SETS, SSAO_QUALITY, 3);
  markQuality(sets, SETS, SHADOW_QUALITY, -7);
  for (const UniformSet& s : sets) {
    EXPECT_EQ(s.scalars[SSAO_QUALITY].value.i, 3);
    EXPECT_EQ(s.scalars[SHADOW_QUALITY].value.i, -7);
    EXPECT_EQ(s.scalars[ANTIALIAS].value.i, 1);
    EXPECT_EQ(s.scalars[ANTIALIAS].changed, 0);
  }
}

// Random setter calls and frames against a model of each program's uniform: after every frame the
// program holds the stored level, and a level is sent once per change, never again until it changes.
TEST(QualitySettings, FramesSendEachChangeOnceAndProgramsEndUpCurrent) {
  std::mt19937 rng(20261206);
  for (int round = 0; round < 50; ++round) {
    UniformSet sets[SETS];
    const uint32_t present = rng() & 0x7FF;
    bindAll(sets, present);
    int32_t held[SETS][SCALAR_UNIFORM_COUNT];  // what each program holds (bind sent the start values)
    for (auto& h : held)
      for (uint32_t q = 0; q < SCALAR_UNIFORM_COUNT; ++q) h[q] = scalarStartValues[q];
    uint32_t pendingChanges = 0;
    for (int step = 0; step < 200; ++step) {
      if (rng() % 3 != 0) {
        const Quality q = static_cast<Quality>(rng() % SCALAR_UNIFORM_COUNT);
        const int32_t level = static_cast<int32_t>(rng() % 4);
        pendingChanges += markQuality(sets, SETS, q, level);
        continue;
      }
      uint32_t sends = 0;
      for (uint32_t s = 0; s < SETS; ++s) {
        for (uint32_t q = 0; q < SCALAR_UNIFORM_COUNT; ++q) {
          ScalarUniform& u = sets[s].scalars[q];
          if (takeChanged(u)) {
            held[s][q] = u.value.i;
            ++sends;
          }
        }
      }
      EXPECT_LE(sends, pendingChanges);
      pendingChanges = 0;
      for (uint32_t s = 0; s < SETS; ++s) {
        if (!(present & (1u << s))) continue;
        for (uint32_t q = 0; q < SCALAR_UNIFORM_COUNT; ++q) EXPECT_EQ(held[s][q], sets[s].scalars[q].value.i);
      }
      // A second frame with no setter in between sends nothing.
      for (UniformSet& set : sets)
        for (ScalarUniform& u : set.scalars) EXPECT_FALSE(takeChanged(u));
    }
  }
}
