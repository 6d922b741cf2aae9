// Sampling kernels and noise. See kernels.h. The arithmetic mixes single and double precision
// exactly as written, so that a given generator state always gives the same bits.
#include "gfx/core/kernels.h"

#include <cmath>

#include "base/log.h"
#include "base/random.h"

namespace tsm::gfx {
float ssaoKernel[SSAO_KERNEL_SIZE][3];
float noiseTile[NOISE_TILE_SIZE];
const float poissonDisk[POISSON_DISK_SIZE][2] = {
    {-0.94201624f, -0.39906216f}, {0.9455861f, -0.76890725f},   {-0.0941841f, -0.9293887f},
    {0.34495938f, 0.2938776f},    {-0.9158858f, 0.45771432f},   {-0.8154423f, -0.87912464f},
    {-0.38277543f, 0.27676845f},  {0.974844f, 0.7564838f},      {0.44323325f, -0.97511554f},
    {0.5374298f, -0.4737342f},    {-0.2649691f, -0.41893023f},  {0.79197514f, 0.19090188f},
    {-0.2418884f, 0.99706507f},   {-0.81409955f, 0.9143759f},   {0.19984126f, 0.78641367f},
    {0.14383161f, -0.1410079f},
};

void generateSsaoKernel(uint32_t state[4], float kernel[SSAO_KERNEL_SIZE][3]) {
  for (int i = 0; i < SSAO_KERNEL_SIZE; ++i) {
    float x, y, z, q;
    do {
      const float u1 = nextUnit(state);
      const float u2 = nextUnit(state);
      const float u3 = nextUnit(state);
      x = static_cast<float>(2.0 * u1 - 1.0);
      y = static_cast<float>(2.0 * u2 - 1.0);
      z = static_cast<float>(1.1 * u3 - 0.1);
      q = (y * y + x * x) + z * z;
    } while (q > 1.0f);
    const float len = static_cast<float>(std::sqrt(static_cast<double>(q)));
    x /= len;
    y /= len;
    z /= len;
    const float s = static_cast<float>(i) * 0.015625f * 0.9f + 0.1f;
    const float scale = s * s;
    kernel[i][0] = x * scale;
    kernel[i][1] = y * scale;
    kernel[i][2] = z * scale;
  }
}

bool noiseTileAccepted(double sum) { return !(sum < 7.2 || sum > 8.8); }

int generateNoiseTile(uint32_t state[4], float tile[NOISE_TILE_SIZE]) {
  int attempts = 0;
  double sum;
  do {
    ++attempts;
    sum = 0.0;
    logInfo("noiseTile: ");
    for (int k = 0; k < NOISE_TILE_SIZE; ++k) {
      tile[k] = nextUnit(state);
      sum += tile[k];
      logInfo("%d ", static_cast<int>(tile[k] * 10.0f));
    }
    logInfo("\n Average: %f\n", sum * 0.0625);
  } while (!noiseTileAccepted(sum));
  return attempts;
}
}  // namespace tsm::gfx
