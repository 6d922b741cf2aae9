// Sampling data of the shaders: the SSAO kernel and the noise tile, drawn from the system's random
// generator while the graphics are built, and the constant Poisson disk. Pure; the uniform sets
// send the three arrays to every program that declares them.
#pragma once
#include <cstdint>

namespace tsm::gfx {
// Samples of the ambient-occlusion kernel.
constexpr int SSAO_KERNEL_SIZE = 64;
// Values of the noise tile.
constexpr int NOISE_TILE_SIZE = 16;
// Points of the Poisson disk.
constexpr int POISSON_DISK_SIZE = 16;

extern float ssaoKernel[SSAO_KERNEL_SIZE][3];
extern float noiseTile[NOISE_TILE_SIZE];
extern const float poissonDisk[POISSON_DISK_SIZE][2];

// Fills `kernel` with 64 samples in the upper half-ball, sample i of length (0.1 + 0.9 i / 64)^2.
void generateSsaoKernel(uint32_t state[4], float kernel[SSAO_KERNEL_SIZE][3]);
// Fills `tile` with 16 unit values whose sum lies in [7.2, 8.8], logging each attempt.
// Returns the number of attempts.
int generateNoiseTile(uint32_t state[4], float tile[NOISE_TILE_SIZE]);
// Whether a tile whose values sum to `sum` is kept.
bool noiseTileAccepted(double sum);
}  // namespace tsm::gfx
