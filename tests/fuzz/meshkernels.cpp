// Fuzz target: the retained-mesh kernels, the mesh block reader and the instance record.
//  - Raw cases: the input is a mesh block, copied to memory of exactly its size; whatever it holds,
//    the reader either refuses it or views sections inside it, and the kernels write only the whole
//    triangles that fit, inside the output arrays (also copied to exact sizes).
//  - Built cases: a mesh, palette, instance and capacity drawn from the input, with coordinates
//    on a 1/16 grid (so no result is subnormal and every invariant holds to float rounding):
//    the count written is the whole triangles that fit; nothing is written outside them; normals
//    are unit or zero; a joint past the palette gives exactly what weight 0 gives; an instance
//    without a palette gives exactly the bind pose; positions agree with a double-precision
//    reference written plainly here.
// Per case at most 600 vertices and 300 joints, so allocations stay small.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzzlog.h"
#include "gfx/core/meshkernels.h"

using namespace tsm::gfx;

namespace {
constexpr uint32_t MAX_CASE_VERTICES = 600;
constexpr uint32_t MAX_CASE_JOINTS = 300;
constexpr float CANARY = -12345.0f;

struct Outputs {
  std::vector<float> position, normal, color, material, extra, fcolor;
  std::vector<float> fposition, fnormal;
  explicit Outputs(uint32_t room)
      : position(3 * room, CANARY), normal(3 * room, CANARY), color(3 * room, CANARY), material(3 * room, CANARY),
        extra(3 * room, CANARY), fcolor(4 * room, CANARY), fposition(3 * room, CANARY), fnormal(3 * room, CANARY) {}
  SolidTarget solid(uint32_t capacity) {
    return {position.data(), normal.data(), color.data(), material.data(), extra.data(), capacity};
  }
  ForwardTarget forward(uint32_t capacity) { return {fposition.data(), fnormal.data(), fcolor.data(), capacity}; }
};

uint32_t expectedCount(uint32_t vertices, uint32_t capacity, uint32_t first) {
  if (first >= capacity) return 0;
  const uint32_t n = capacity - first < vertices ? capacity - first : vertices;
  return n - n % 3;
}

// Every slot outside [first, first + n) still holds the canary.
void requireUntouchedOutside(const std::vector<float>& a, uint32_t width, uint32_t first, uint32_t n) {
  const size_t room = a.size() / width;
  for (size_t v = 0; v < room; ++v) {
    if (v >= first && v < static_cast<size_t>(first) + n) continue;
    for (uint32_t k = 0; k < width; ++k) FUZZ_REQUIRE(a[v * width + k] == CANARY);
  }
}

float grid(FuzzedDataProvider& in, int range) {
  return static_cast<float>(in.ConsumeIntegralInRange<int>(-16 * range, 16 * range)) / 16.0f;
}

void rawCase(FuzzedDataProvider& in) {
  const uint32_t capacity = in.ConsumeIntegralInRange<uint32_t>(0, 64);
  const uint32_t first = in.ConsumeIntegralInRange<uint32_t>(0, 70);
  const uint32_t joints = in.ConsumeIntegralInRange<uint32_t>(0, 8);
  std::vector<float> palette(16 * joints);
  for (float& f : palette) f = in.ConsumeFloatingPoint<float>();
  const std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();
  // An exact-size, 4-byte aligned copy (malloc aligns), so a read past the block is a report.
  uint8_t* block = static_cast<uint8_t*>(std::malloc(bytes.size() + 1));
  if (!bytes.empty()) std::memcpy(block, bytes.data(), bytes.size());
  MeshView mesh;
  MeshLook look;
  if (!readMeshBlock(block, bytes.size(), &mesh, &look)) {
    std::free(block);
    return;
  }
  FUZZ_REQUIRE(MESH_HEADER_WORDS * 4 + static_cast<size_t>(mesh.vertexCount) * 12 <= bytes.size());
  MeshInstance instance;
  instance.palette = joints ? palette.data() : nullptr;
  instance.paletteCount = joints;
  Outputs out(capacity);
  const uint32_t n = expectedCount(mesh.vertexCount, capacity, first);
  FUZZ_REQUIRE(writeSolidInstance(mesh, look, instance, out.solid(capacity), first) == n);
  FUZZ_REQUIRE(writeForwardInstance(mesh, look, instance, out.forward(capacity), first) == n);
  std::free(block);
}

// An instance record's palette range always lies inside the palette block, and within the joints
// a palette is read for.
void recordCase(FuzzedDataProvider& in) {
  uint32_t record[INSTANCE_RECORD_WORDS];
  for (uint32_t& w : record) w = in.ConsumeIntegral<uint32_t>();
  if (in.ConsumeBool()) record[2] = in.ConsumeIntegralInRange<uint32_t>(0, 40);
  if (in.ConsumeBool()) record[3] = in.ConsumeIntegralInRange<uint32_t>(0, 40);
  const size_t matrices = in.ConsumeIntegralInRange<size_t>(0, MAX_SKIN_JOINTS + 40);
  std::vector<float> palette(16 * matrices + 1);
  InstanceRecord r;
  readInstanceRecord(reinterpret_cast<const uint8_t*>(record), palette.data(), matrices, &r);
  FUZZ_REQUIRE(r.mesh == record[0] && r.batch == record[1]);
  FUZZ_REQUIRE(r.instance.paletteCount <= MAX_SKIN_JOINTS && r.instance.paletteCount <= record[3]);
  if (r.instance.paletteCount == 0) {
    FUZZ_REQUIRE(r.instance.palette == nullptr);
  } else {
    const size_t firstJoint = static_cast<size_t>(r.instance.palette - palette.data()) / 16;
    FUZZ_REQUIRE(firstJoint == record[2]);
    FUZZ_REQUIRE(firstJoint + r.instance.paletteCount <= matrices);
  }
}

void builtCase(FuzzedDataProvider& in) {
  const uint32_t vertices = in.ConsumeIntegralInRange<uint32_t>(0, MAX_CASE_VERTICES);
  const uint32_t joints = in.ConsumeIntegralInRange<uint32_t>(0, MAX_CASE_JOINTS);
  const uint32_t capacity = in.ConsumeIntegralInRange<uint32_t>(0, MAX_CASE_VERTICES + 10);
  const uint32_t first = in.ConsumeIntegralInRange<uint32_t>(0, 20);
  const bool textured = in.ConsumeBool();
  std::vector<float> positions(3 * vertices), normals(3 * vertices), colors(4 * vertices), uvs(2 * vertices),
      weights(4 * vertices);
  std::vector<uint16_t> jointIndex(4 * vertices);
  // Joint indices reach a little past the palette (and sometimes far past it).
  const uint16_t jointRange = static_cast<uint16_t>(joints + 4);
  for (uint32_t v = 0; v < vertices && in.remaining_bytes(); ++v) {
    for (int k = 0; k < 3; ++k) positions[3 * v + k] = grid(in, 8);
    for (int k = 0; k < 3; ++k) normals[3 * v + k] = grid(in, 1);
    for (int k = 0; k < 4; ++k) colors[4 * v + k] = grid(in, 1);
    for (int k = 0; k < 2; ++k) uvs[2 * v + k] = grid(in, 2);
    for (int k = 0; k < 4; ++k) {
      jointIndex[4 * v + k] = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint16_t>(0, jointRange) : in.ConsumeIntegral<uint16_t>();
      weights[4 * v + k] = grid(in, 2);
    }
  }
  std::vector<float> palette(16 * joints + 16);
  for (uint32_t j = 0; j <= joints; ++j) {
    float* m = &palette[16 * j];
    for (int k = 0; k < 16; ++k) m[k] = (k % 4 == 3) ? (k == 15 ? 1.0f : 0.0f) : grid(in, 2);
  }
  float* matrix = &palette[16 * joints];  // the instance matrix sits after the palette
  MeshView mesh;
  mesh.vertexCount = vertices;
  mesh.positions = positions.data();
  mesh.normals = normals.data();
  mesh.colors = colors.data();
  mesh.uvs = uvs.data();
  mesh.joints = jointIndex.data();
  mesh.weights = weights.data();
  MeshLook look{3, 4, textured ? 16.0f : 0.0f, 8, 0.5f, 1};
  MeshInstance instance;
  instance.matrix = matrix;
  instance.palette = joints ? palette.data() : nullptr;
  instance.paletteCount = joints;
  for (float& t : instance.tint) t = grid(in, 1);

  Outputs a(capacity + 8);
  const uint32_t n = expectedCount(vertices, capacity, first);
  FUZZ_REQUIRE(writeSolidInstance(mesh, look, instance, a.solid(capacity), first) == n);
  FUZZ_REQUIRE(writeForwardInstance(mesh, look, instance, a.forward(capacity), first) == n);
  requireUntouchedOutside(a.position, 3, first, n);
  requireUntouchedOutside(a.extra, 3, first, n);
  requireUntouchedOutside(a.fcolor, 4, first, n);
  for (uint32_t i = first; i < first + n; ++i) {
    const float* nv = &a.normal[3 * i];
    const double len2 = static_cast<double>(nv[0]) * nv[0] + static_cast<double>(nv[1]) * nv[1] + static_cast<double>(nv[2]) * nv[2];
    FUZZ_REQUIRE(len2 == 0 || std::fabs(len2 - 1) < 1e-4);
    FUZZ_REQUIRE(a.fposition[3 * i] == a.position[3 * i]);
    if (textured) FUZZ_REQUIRE(a.extra[3 * i + 2] == 1 && a.extra[3 * i] >= 3 && a.extra[3 * i] <= 19);
    else FUZZ_REQUIRE(a.extra[3 * i + 2] == 0);
  }

  // A joint past the palette weighs exactly what weight 0 weighs.
  std::vector<float> zeroed = weights;
  for (size_t k = 0; k < jointIndex.size(); ++k) {
    if (jointIndex[k] >= joints) zeroed[k] = 0;
  }
  MeshView zeroedMesh = mesh;
  zeroedMesh.weights = zeroed.data();
  Outputs b(capacity + 8);
  writeSolidInstance(zeroedMesh, look, instance, b.solid(capacity), first);
  FUZZ_REQUIRE(std::memcmp(a.position.data(), b.position.data(), a.position.size() * sizeof(float)) == 0);
  FUZZ_REQUIRE(std::memcmp(a.normal.data(), b.normal.data(), a.normal.size() * sizeof(float)) == 0);

  // Without a palette every vertex is in its bind pose: the plain transform, checked in double.
  MeshInstance plain = instance;
  plain.palette = nullptr;
  Outputs c(capacity + 8);
  writeSolidInstance(mesh, look, plain, c.solid(capacity), first);
  double det = matrix[0] * (static_cast<double>(matrix[5]) * matrix[10] - static_cast<double>(matrix[6]) * matrix[9]) -
               matrix[4] * (static_cast<double>(matrix[1]) * matrix[10] - static_cast<double>(matrix[2]) * matrix[9]) +
               matrix[8] * (static_cast<double>(matrix[1]) * matrix[6] - static_cast<double>(matrix[2]) * matrix[5]);
  for (uint32_t v = 0; v < n; ++v) {
    const uint32_t at = first + (det < 0 ? (v % 3 == 1 ? v + 1 : v % 3 == 2 ? v - 1 : v) : v);
    for (int r = 0; r < 3; ++r) {
      double want = matrix[12 + r];
      for (int k = 0; k < 3; ++k) want += static_cast<double>(matrix[4 * k + r]) * positions[3 * v + k];
      FUZZ_REQUIRE(std::fabs(c.position[3 * at + r] - want) <= 1e-5 * (1 + std::fabs(want)) + 1e-4);
    }
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int mode = in.ConsumeIntegralInRange<int>(0, 7);
  if (mode == 0) {
    rawCase(in);
  } else if (mode == 1) {
    recordCase(in);
  } else {
    builtCase(in);
  }
  return 0;
}
