// Skinning in the retained-mesh kernel: 5,000 vertices, four joints each out of a palette of 30,
// written into the solid batch's five arrays, against a memcpy of the same output bytes (the floor
// any writer of them pays). bench/models/skinning.js runs the same work as a plain JavaScript loop
// and compares it with this program's figure. Prints `@bench` lines (bench/rounds.h); `--quick`
// runs fewer rounds.
#include <cmath>
#include <cstring>
#include <vector>

#include "bench/rounds.h"
#include "gfx/core/meshkernels.h"

using namespace tsm::gfx;

namespace {
constexpr uint32_t VERTICES = 5000;
constexpr uint32_t JOINTS = 30;
// Kernel calls per timed round.
constexpr int REPEAT = 20;

// The same deterministic mesh and palette as skinning.js makes (a small linear congruential sequence).
struct Lcg {
  uint32_t s = 12345;
  float next() {
    s = s * 1664525u + 1013904223u;
    return static_cast<float>(s >> 8) / 16777216.0f;
  }
};
}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  Lcg rng;
  std::vector<float> positions(3 * VERTICES), normals(3 * VERTICES), weights(4 * VERTICES);
  std::vector<uint16_t> joints(4 * VERTICES);
  for (uint32_t v = 0; v < VERTICES; ++v) {
    for (int k = 0; k < 3; ++k) positions[3 * v + k] = rng.next() * 2 - 1;
    for (int k = 0; k < 3; ++k) normals[3 * v + k] = rng.next() * 2 - 1;
    for (int k = 0; k < 4; ++k) joints[4 * v + k] = static_cast<uint16_t>(rng.next() * JOINTS);
    for (int k = 0; k < 4; ++k) weights[4 * v + k] = rng.next();
  }
  std::vector<float> palette(16 * JOINTS);
  for (uint32_t j = 0; j < JOINTS; ++j) {
    const float a = rng.next() * 6.28f, c = std::cos(a), s = std::sin(a);
    const float m[16] = {c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, rng.next(), rng.next(), rng.next(), 1};
    std::memcpy(&palette[16 * j], m, sizeof m);
  }
  const float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 2, 0, -3, 1};
  MeshView mesh;
  mesh.vertexCount = VERTICES;
  mesh.positions = positions.data();
  mesh.normals = normals.data();
  mesh.joints = joints.data();
  mesh.weights = weights.data();
  MeshInstance instance;
  instance.matrix = matrix;
  instance.palette = palette.data();
  instance.paletteCount = JOINTS;
  std::vector<float> out(15 * VERTICES), copy(15 * VERTICES);
  const SolidTarget target{&out[0], &out[3 * VERTICES], &out[6 * VERTICES], &out[9 * VERTICES], &out[12 * VERTICES], VERTICES};

  volatile uint32_t sink = 0;
  const auto times = bench::timeRounds(quick ? 10 : 60, {
      [&] { for (int r = 0; r < REPEAT; ++r) sink = sink + writeSolidInstance(mesh, MeshLook{}, instance, target, 0); },
      [&] { for (int r = 0; r < REPEAT; ++r) { std::memcpy(copy.data(), out.data(), out.size() * 4); sink = sink + static_cast<uint32_t>(copy[r]); } },
  });
  bench::emit("skin 5,000 vertices x 4 of 30 joints, native kernel", times[0], 1e-3 / REPEAT, "us", &times[1],
              "cost / memcpy of the output", true);
  return 0;
}
