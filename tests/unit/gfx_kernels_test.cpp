// The random generator, the SSAO kernel, the noise tile and the Poisson disk.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <regex>
#include <string>

#include "base/random.h"
#include "gfx/core/kernels.h"

using namespace tsm::gfx;

TEST(Generator, MatchesTheClassicXorshift128Sequence) {
  // The classic seeds, oldest word last in memory order.
  uint32_t state[4] = {88675123u, 521288629u, 362436069u, 123456789u};
  EXPECT_EQ(tsm::nextRandom(state), 3701687786u);
  EXPECT_EQ(tsm::nextRandom(state), 458299110u);
  EXPECT_EQ(state[1], 3701687786u);
  EXPECT_EQ(state[3], 521288629u);
}

TEST(Generator, UnitValuesAreFormedInSinglePrecision) {
  uint32_t state[4] = {0xFFFFFFFFu, 0, 0, 0};
  // A zero state stays zero.
  uint32_t zero[4] = {0, 0, 0, 0};
  EXPECT_EQ(tsm::nextUnit(zero), 0.0f);
  EXPECT_EQ(tsm::nextRandom(zero), 0u);
  // Values just below 2^32 round to 2^32 as floats and give exactly 1.0.
  EXPECT_EQ(4294967295.0f * 2.3283064e-10f, 1.0f);
  const uint32_t r = [&] { uint32_t copy[4]; std::memcpy(copy, state, sizeof copy); return tsm::nextRandom(copy); }();
  EXPECT_EQ(tsm::nextUnit(state), static_cast<float>(r) * 2.3283064e-10f);
}

namespace {
// The kernel's arithmetic, written out step by step with every rounding explicit.
void referenceKernel(uint32_t state[4], float out[64][3]) {
  for (int i = 0; i < 64; ++i) {
    for (;;) {
      volatile float u[3];
      for (int c = 0; c < 3; ++c) u[c] = static_cast<float>(tsm::nextRandom(state)) * 2.3283064e-10f;
      volatile float x = static_cast<float>(2.0 * static_cast<double>(u[0]) - 1.0);
      volatile float y = static_cast<float>(2.0 * static_cast<double>(u[1]) - 1.0);
      volatile float z = static_cast<float>(1.1 * static_cast<double>(u[2]) - 0.1);
      volatile float yy = y * y, xx = x * x, zz = z * z;
      volatile float q0 = yy + xx;
      volatile float q = q0 + zz;
      if (q > 1.0f) continue;
      volatile float len = static_cast<float>(std::sqrt(static_cast<double>(q)));
      volatile float a = static_cast<float>(i) * 0.015625f;
      volatile float b = a * 0.9f;
      volatile float s = b + 0.1f;
      volatile float ss = s * s;
      volatile float nx = x / len, ny = y / len, nz = z / len;
      out[i][0] = nx * ss;
      out[i][1] = ny * ss;
      out[i][2] = nz * ss;
      break;
    }
  }
}
}  // namespace

TEST(SsaoKernel, MatchesTheStatedArithmeticBitForBit) {
  for (uint32_t seed : {1u, 0xDEADBEEFu, 0x12345678u}) {
    uint32_t a[4] = {seed, seed * 3u, seed ^ 0xA5A5A5A5u, 7u};
    uint32_t b[4];
    std::memcpy(b, a, sizeof a);
    float kernel[64][3], expected[64][3];
    generateSsaoKernel(a, kernel);
    referenceKernel(b, expected);
    EXPECT_EQ(std::memcmp(kernel, expected, sizeof kernel), 0) << seed;
    EXPECT_EQ(std::memcmp(a, b, sizeof a), 0) << "rejected draws consume the same steps";
  }
}

TEST(SsaoKernel, LengthsFollowTheSquareOfTheRamp) {
  uint32_t state[4] = {42u, 4242u, 424242u, 42424242u};
  float kernel[64][3];
  generateSsaoKernel(state, kernel);
  for (int i = 0; i < 64; ++i) {
    const double s = 0.1 + 0.9 * i / 64.0;
    const double len = std::sqrt(kernel[i][0] * kernel[i][0] + kernel[i][1] * kernel[i][1] + kernel[i][2] * kernel[i][2]);
    EXPECT_NEAR(len, s * s, 1e-5) << i;
  }
  EXPECT_NEAR(std::sqrt(kernel[0][0] * kernel[0][0] + kernel[0][1] * kernel[0][1] + kernel[0][2] * kernel[0][2]), 0.01, 1e-6);
}

TEST(NoiseTile, AcceptsItsWindowWithBoundsIncluded) {
  EXPECT_TRUE(noiseTileAccepted(7.2));
  EXPECT_TRUE(noiseTileAccepted(8.8));
  EXPECT_TRUE(noiseTileAccepted(8.0));
  EXPECT_FALSE(noiseTileAccepted(std::nextafter(7.2, 0.0)));
  EXPECT_FALSE(noiseTileAccepted(std::nextafter(8.8, 9.0)));
}

TEST(NoiseTile, LogsEveryAttemptAndKeepsTheLast) {
  for (uint32_t seed = 1; seed < 40; ++seed) {
    uint32_t state[4] = {seed, seed + 1, seed + 2, seed + 3};
    uint32_t replay[4];
    std::memcpy(replay, state, sizeof state);
    float tile[16];
    testing::internal::CaptureStdout();
    const int attempts = generateNoiseTile(state, tile);
    const std::string out = testing::internal::GetCapturedStdout();

    // Replay the draws: each attempt's digits and average, and only the last attempt is kept.
    std::string expected;
    float last[16];
    double sum;
    int n = 0;
    do {
      ++n;
      sum = 0;
      expected += "noiseTile: ";
      for (int k = 0; k < 16; ++k) {
        last[k] = static_cast<float>(tsm::nextRandom(replay)) * 2.3283064e-10f;
        sum += last[k];
        expected += std::to_string(static_cast<int>(last[k] * 10.0f)) + " ";
      }
      char line[64];
      std::snprintf(line, sizeof line, "\n Average: %f\n", sum * 0.0625);
      expected += line;
    } while (sum < 7.2 || sum > 8.8);
    EXPECT_EQ(out, expected) << seed;
    EXPECT_EQ(attempts, n);
    EXPECT_EQ(std::memcmp(tile, last, sizeof tile), 0);
    EXPECT_EQ(std::memcmp(state, replay, sizeof state), 0);
  }
}

TEST(NoiseTile, KernelFirstThenTileFixesBoth) {
  uint32_t a[4] = {9, 8, 7, 6}, b[4] = {9, 8, 7, 6};
  float k1[64][3], k2[64][3], t1[16], t2[16];
  testing::internal::CaptureStdout();
  generateSsaoKernel(a, k1);
  generateNoiseTile(a, t1);
  generateNoiseTile(b, t2);
  generateSsaoKernel(b, k2);
  testing::internal::GetCapturedStdout();
  EXPECT_NE(std::memcmp(k1, k2, sizeof k1), 0);
  EXPECT_NE(std::memcmp(t1, t2, sizeof t1), 0);
}

TEST(PoissonDisk, HoldsTheFixedPoints) {
  EXPECT_EQ(poissonDisk[0][0], -0.94201624f);
  EXPECT_EQ(poissonDisk[7][1], 0.7564838f);
  EXPECT_EQ(poissonDisk[15][1], -0.1410079f);
}
