// The retained-mesh kernels against a plain reference written here in double precision (4x4
// products, the skin matrix summed joint by joint, normals through an explicit 3x3 inverse), and
// their invariants: an identity palette is the plain transform, joints out of range weigh nothing,
// normals stay unit, capacity and whole triangles are respected, mirrors keep the winding. Also the
// mesh block reader and the instance record's palette clipping.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "gfx/core/meshkernels.h"

using namespace tsm::gfx;

namespace {
// A mesh whose arrays the test owns.
struct TestMesh {
  std::vector<float> positions, normals, colors, uvs, weights;
  std::vector<uint16_t> joints;
  MeshView view() const {
    MeshView m;
    m.vertexCount = static_cast<uint32_t>(positions.size() / 3);
    m.positions = positions.data();
    m.normals = normals.empty() ? nullptr : normals.data();
    m.colors = colors.empty() ? nullptr : colors.data();
    m.uvs = uvs.empty() ? nullptr : uvs.data();
    m.joints = joints.empty() ? nullptr : joints.data();
    m.weights = weights.empty() ? nullptr : weights.data();
    return m;
  }
};

TestMesh randomMesh(std::mt19937& rng, uint32_t vertices, uint16_t jointRange) {
  std::uniform_real_distribution<float> unit(-1, 1), positive(0, 1);
  std::uniform_int_distribution<int> joint(0, jointRange - 1);
  TestMesh m;
  for (uint32_t v = 0; v < vertices; ++v) {
    for (int k = 0; k < 3; ++k) m.positions.push_back(unit(rng) * 3);
    float n[3] = {unit(rng), unit(rng), unit(rng)};
    const float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]) + 1e-3f;
    for (float x : n) m.normals.push_back(x / len);
    for (int k = 0; k < 4; ++k) m.colors.push_back(positive(rng));
    for (int k = 0; k < 2; ++k) m.uvs.push_back(positive(rng));
    for (int k = 0; k < 4; ++k) m.joints.push_back(static_cast<uint16_t>(joint(rng)));
    for (int k = 0; k < 4; ++k) m.weights.push_back(positive(rng));
  }
  return m;
}

// A column-major 4x4 of a random rotation (axis and angle), per-axis scale and translation; a
// negative `mirror` flips x.
std::vector<float> randomMatrix(std::mt19937& rng, bool mirror) {
  std::uniform_real_distribution<double> unit(-1, 1), scale(0.5, 2);
  double ax = unit(rng), ay = unit(rng), az = unit(rng);
  const double len = std::sqrt(ax * ax + ay * ay + az * az) + 1e-6;
  ax /= len; ay /= len; az /= len;
  const double a = unit(rng) * 3.14159, c = std::cos(a), s = std::sin(a), t = 1 - c;
  const double r[3][3] = {{t * ax * ax + c, t * ax * ay - s * az, t * ax * az + s * ay},
                          {t * ax * ay + s * az, t * ay * ay + c, t * ay * az - s * ax},
                          {t * ax * az - s * ay, t * ay * az + s * ax, t * az * az + c}};
  const double sc[3] = {scale(rng) * (mirror ? -1 : 1), scale(rng), scale(rng)};
  std::vector<float> m(16, 0.0f);
  for (int col = 0; col < 3; ++col)
    for (int row = 0; row < 3; ++row) m[col * 4 + row] = static_cast<float>(r[row][col] * sc[col]);
  m[12] = static_cast<float>(unit(rng) * 4);
  m[13] = static_cast<float>(unit(rng) * 4);
  m[14] = static_cast<float>(unit(rng) * 4);
  m[15] = 1;
  return m;
}

// --- the reference ------------------------------------------------------------------------------

struct Mat { double e[4][4]; };  // e[row][col]

Mat fromColumnMajor(const float* m) {
  Mat r{};
  for (int col = 0; col < 4; ++col)
    for (int row = 0; row < 4; ++row) r.e[row][col] = m[col * 4 + row];
  return r;
}
Mat multiply(const Mat& a, const Mat& b) {
  Mat r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 4; ++k) r.e[i][j] += a.e[i][k] * b.e[k][j];
  return r;
}

struct RefVertex { double p[3], n[3], c[4]; };

// Vertex v of `mesh` placed by `matrix` and (when given) the palette, the plain way.
RefVertex reference(const TestMesh& mesh, uint32_t v, const float* matrix, const float* palette, uint32_t paletteCount,
                    const float tint[4]) {
  Mat world = fromColumnMajor(matrix);
  if (palette && !mesh.joints.empty()) {
    double weight[4], total = 0;
    for (int k = 0; k < 4; ++k) {
      const uint16_t j = mesh.joints[4 * v + k];
      const float w = mesh.weights[4 * v + k];
      weight[k] = (j < paletteCount && std::isfinite(w) && w > 0) ? w : 0;
      total += weight[k];
    }
    if (total > 0) {
      Mat skin{};
      for (int k = 0; k < 4; ++k) {
        if (weight[k] == 0) continue;
        const Mat joint = fromColumnMajor(palette + 16 * mesh.joints[4 * v + k]);
        for (int i = 0; i < 4; ++i)
          for (int j = 0; j < 4; ++j) skin.e[i][j] += joint.e[i][j] * weight[k] / total;
      }
      world = multiply(world, skin);
    }
  }
  RefVertex out{};
  const float* p = &mesh.positions[3 * v];
  for (int i = 0; i < 3; ++i) out.p[i] = world.e[i][0] * p[0] + world.e[i][1] * p[1] + world.e[i][2] * p[2] + world.e[i][3];
  // Inverse of the upper 3x3 by Gauss-Jordan elimination, then its transpose applied to the normal.
  double a[3][6];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 6; ++j) a[i][j] = j < 3 ? world.e[i][j] : (j - 3 == i ? 1 : 0);
  for (int col = 0; col < 3; ++col) {
    int pivot = col;
    for (int i = col + 1; i < 3; ++i)
      if (std::fabs(a[i][col]) > std::fabs(a[pivot][col])) pivot = i;
    for (int j = 0; j < 6; ++j) std::swap(a[col][j], a[pivot][j]);
    const double d = a[col][col];
    for (int j = 0; j < 6; ++j) a[col][j] /= d;
    for (int i = 0; i < 3; ++i) {
      if (i == col) continue;
      const double f = a[i][col];
      for (int j = 0; j < 6; ++j) a[i][j] -= f * a[col][j];
    }
  }
  const float* n = &mesh.normals[3 * v];
  double len = 0;
  for (int i = 0; i < 3; ++i) {
    out.n[i] = a[0][3 + i] * n[0] + a[1][3 + i] * n[1] + a[2][3 + i] * n[2];
    len += out.n[i] * out.n[i];
  }
  for (double& x : out.n) x /= std::sqrt(len);
  for (int i = 0; i < 4; ++i) out.c[i] = mesh.colors[4 * v + i] * tint[i];
  return out;
}

// Output arrays for `capacity` vertices, filled with a canary value.
struct SolidBuffers {
  std::vector<float> position, normal, color, material, extra;
  explicit SolidBuffers(uint32_t capacity)
      : position(3 * capacity, -7.5f), normal(3 * capacity, -7.5f), color(3 * capacity, -7.5f),
        material(3 * capacity, -7.5f), extra(3 * capacity, -7.5f) {}
  SolidTarget target(uint32_t capacity) {
    return {position.data(), normal.data(), color.data(), material.data(), extra.data(), capacity};
  }
};
struct ForwardBuffers {
  std::vector<float> position, normal, color;
  explicit ForwardBuffers(uint32_t capacity) : position(3 * capacity, -7.5f), normal(3 * capacity, -7.5f), color(4 * capacity, -7.5f) {}
  ForwardTarget target(uint32_t capacity) { return {position.data(), normal.data(), color.data(), capacity}; }
};

// The output index of source vertex v under a mirroring matrix: a triangle's last two trade places.
uint32_t mirroredIndex(uint32_t v) { return v % 3 == 1 ? v + 1 : v % 3 == 2 ? v - 1 : v; }
}  // namespace

// --- against the reference ----------------------------------------------------------------------

TEST(MeshKernels, MatchTheReferenceOverRandomMeshesInstancesAndPalettes) {
  std::mt19937 rng(20240611);
  struct Case { uint32_t vertices; uint32_t joints; bool skinned; bool mirror; };
  const Case cases[] = {{3, 0, false, false}, {30, 0, false, true}, {99, 8, true, false}, {60, 30, true, true},
                        {300, 200, true, false}};
  for (const Case& c : cases) {
    const TestMesh mesh = randomMesh(rng, c.vertices, static_cast<uint16_t>(c.joints ? c.joints + 3 : 1));
    MeshView view = mesh.view();
    if (!c.skinned) view.joints = nullptr;
    const std::vector<float> matrix = randomMatrix(rng, c.mirror);
    std::vector<float> palette;
    for (uint32_t j = 0; j < c.joints; ++j) {
      const std::vector<float> m = randomMatrix(rng, false);
      palette.insert(palette.end(), m.begin(), m.end());
    }
    MeshInstance instance;
    instance.matrix = matrix.data();
    const float tint[4] = {0.5f, 1.0f, 0.25f, 0.75f};
    std::memcpy(instance.tint, tint, sizeof tint);
    instance.palette = c.skinned ? palette.data() : nullptr;
    instance.paletteCount = c.skinned ? c.joints : 0;
    MeshLook look;
    look.specular = 0.25f;
    look.emission = 2;

    SolidBuffers solid(c.vertices);
    ForwardBuffers forward(c.vertices);
    ASSERT_EQ(writeSolidInstance(view, look, instance, solid.target(c.vertices), 0), c.vertices);
    ASSERT_EQ(writeForwardInstance(view, look, instance, forward.target(c.vertices), 0), c.vertices);
    for (uint32_t v = 0; v < c.vertices; ++v) {
      const RefVertex r = reference(mesh, v, matrix.data(), instance.palette, instance.paletteCount, tint);
      const uint32_t o = c.mirror ? mirroredIndex(v) : v;
      for (int i = 0; i < 3; ++i) {
        const double tolerance = 1e-4 * (1 + std::fabs(r.p[i]));
        EXPECT_NEAR(solid.position[3 * o + i], r.p[i], tolerance) << "case " << c.vertices << " vertex " << v;
        EXPECT_NEAR(solid.normal[3 * o + i], r.n[i], 1e-3) << "case " << c.vertices << " vertex " << v;
        EXPECT_NEAR(solid.color[3 * o + i], r.c[i], 1e-6);
        EXPECT_EQ(forward.position[3 * o + i], solid.position[3 * o + i]);
        EXPECT_EQ(forward.normal[3 * o + i], solid.normal[3 * o + i]);
      }
      for (int i = 0; i < 4; ++i) EXPECT_NEAR(forward.color[4 * o + i], r.c[i], 1e-6);
      EXPECT_EQ(solid.material[3 * o], 0.25f);
      EXPECT_EQ(solid.material[3 * o + 1], 0.0f);
      EXPECT_EQ(solid.material[3 * o + 2], 2.0f);
      for (int i = 0; i < 3; ++i) EXPECT_EQ(solid.extra[3 * o + i], 0.0f);
    }
  }
}

// --- invariants ---------------------------------------------------------------------------------

TEST(MeshKernels, SkinningByIdentityPaletteOrNoWeightIsThePlainTransform) {
  std::mt19937 rng(7);
  TestMesh mesh = randomMesh(rng, 90, 4);
  const std::vector<float> matrix = randomMatrix(rng, false);
  std::vector<float> identity;
  for (int j = 0; j < 4; ++j) identity.insert(identity.end(), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
  MeshInstance plain;
  plain.matrix = matrix.data();
  MeshView unskinned = mesh.view();
  unskinned.joints = nullptr;
  SolidBuffers expected(90);
  writeSolidInstance(unskinned, MeshLook{}, plain, expected.target(90), 0);

  MeshInstance skinned = plain;
  skinned.palette = identity.data();
  skinned.paletteCount = 4;
  SolidBuffers got(90);
  writeSolidInstance(mesh.view(), MeshLook{}, skinned, got.target(90), 0);
  for (size_t i = 0; i < got.position.size(); ++i) {
    EXPECT_NEAR(got.position[i], expected.position[i], 1e-5 * (1 + std::fabs(expected.position[i])));
    EXPECT_NEAR(got.normal[i], expected.normal[i], 1e-5);
  }

  // Weights that are all zero, negative or not numbers leave every vertex in its bind pose exactly.
  const float noWeights[] = {0.0f, -1.0f, NAN, -INFINITY};
  for (float w : noWeights) {
    std::fill(mesh.weights.begin(), mesh.weights.end(), w);
    const std::vector<float> palette = randomMatrix(rng, false);
    skinned.palette = palette.data();
    skinned.paletteCount = 1;
    SolidBuffers bind(90);
    writeSolidInstance(mesh.view(), MeshLook{}, skinned, bind.target(90), 0);
    EXPECT_EQ(bind.position, expected.position) << "weight " << w;
    EXPECT_EQ(bind.normal, expected.normal) << "weight " << w;
  }
}

TEST(MeshKernels, AJointPastThePaletteWeighsNothingAndWeightsAreNormalised) {
  std::mt19937 rng(11);
  TestMesh mesh = randomMesh(rng, 60, 3);
  std::vector<float> palette;
  for (int j = 0; j < 3; ++j) {
    const std::vector<float> m = randomMatrix(rng, false);
    palette.insert(palette.end(), m.begin(), m.end());
  }
  MeshInstance instance;
  instance.palette = palette.data();
  instance.paletteCount = 3;

  // Joint slot 2 of every vertex pointed past the palette (3, and the largest u16) ...
  TestMesh outOfRange = mesh, zeroed = mesh;
  for (size_t v = 0; v < 60; ++v) {
    outOfRange.joints[4 * v + 2] = v % 2 ? 3 : 65535;
    zeroed.weights[4 * v + 2] = 0;
  }
  SolidBuffers a(60), b(60);
  writeSolidInstance(outOfRange.view(), MeshLook{}, instance, a.target(60), 0);
  writeSolidInstance(zeroed.view(), MeshLook{}, instance, b.target(60), 0);
  // ... is exactly the same as its weight set to 0.
  EXPECT_EQ(a.position, b.position);
  EXPECT_EQ(a.normal, b.normal);

  // Weights scaled by any positive factor give the same pose.
  for (float factor : {0.01f, 2.0f, 1000.0f}) {
    TestMesh scaled = mesh;
    for (float& w : scaled.weights) w *= factor;
    SolidBuffers c(60), d(60);
    writeSolidInstance(scaled.view(), MeshLook{}, instance, c.target(60), 0);
    writeSolidInstance(mesh.view(), MeshLook{}, instance, d.target(60), 0);
    for (size_t i = 0; i < c.position.size(); ++i) EXPECT_NEAR(c.position[i], d.position[i], 1e-4) << factor;
  }
}

TEST(MeshKernels, RotationsAndScalesKeepNormalsUnitAndPerpendicular) {
  std::mt19937 rng(3);
  for (bool mirror : {false, true}) {
    // Two triangles sharing an edge, each with its true face normal.
    TestMesh mesh;
    mesh.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1};
    mesh.normals = {0, 0, 1, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 1, 0, 0};
    for (int round = 0; round < 20; ++round) {
      const std::vector<float> matrix = randomMatrix(rng, mirror);
      MeshInstance instance;
      instance.matrix = matrix.data();
      ForwardBuffers out(6);
      ASSERT_EQ(writeForwardInstance(mesh.view(), MeshLook{}, instance, out.target(6), 0), 6u);
      for (int t = 0; t < 2; ++t) {
        const float* p0 = &out.position[9 * t];
        const float* p1 = p0 + 3;
        const float* p2 = p0 + 6;
        const float e1[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        const float e2[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
        const float face[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        for (int k = 0; k < 3; ++k) {
          const float* n = &out.normal[9 * t + 3 * k];
          EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 1e-5);
          // Perpendicular to both edges, and on the side the (counter-clockwise) winding faces.
          EXPECT_NEAR(n[0] * e1[0] + n[1] * e1[1] + n[2] * e1[2], 0.0f, 1e-4);
          EXPECT_NEAR(n[0] * e2[0] + n[1] * e2[1] + n[2] * e2[2], 0.0f, 1e-4);
          EXPECT_GT(n[0] * face[0] + n[1] * face[1] + n[2] * face[2], 0.0f) << (mirror ? "mirrored" : "plain");
        }
      }
    }
  }
}

TEST(MeshKernels, WriteWholeTrianglesWithinCapacityAndNothingPast) {
  std::mt19937 rng(5);
  const TestMesh mesh = randomMesh(rng, 12, 1);
  struct Case { uint32_t vertices, capacity, first, written; };
  const Case cases[] = {
      {12, 12, 0, 12}, {12, 20, 4, 12}, {12, 11, 0, 9}, {12, 12, 4, 6}, {12, 12, 12, 0},
      {12, 12, 13, 0}, {12, 0, 0, 0},   {11, 12, 0, 9}, {2, 12, 0, 0},  {12, 5, 1, 3},
  };
  for (const Case& c : cases) {
    MeshView view = mesh.view();
    view.vertexCount = c.vertices;
    const uint32_t room = 24;  // arrays larger than the capacity: anything written past it shows
    SolidBuffers solid(room);
    ForwardBuffers forward(room);
    EXPECT_EQ(writeSolidInstance(view, MeshLook{}, MeshInstance{}, solid.target(c.capacity), c.first), c.written);
    EXPECT_EQ(writeForwardInstance(view, MeshLook{}, MeshInstance{}, forward.target(c.capacity), c.first), c.written);
    for (uint32_t v = 0; v < room; ++v) {
      const bool written = v >= c.first && v < c.first + c.written;
      EXPECT_EQ(solid.position[3 * v] != -7.5f, written) << c.vertices << "/" << c.capacity << "/" << c.first << " at " << v;
      EXPECT_EQ(solid.extra[3 * v + 2] != -7.5f, written);
      EXPECT_EQ(forward.color[4 * v + 3] != -7.5f, written);
    }
  }
}

TEST(MeshKernels, TextureCoordinatesMapIntoTheAtlasRectangleClamped) {
  TestMesh mesh;
  mesh.positions.assign(9, 0.0f);
  mesh.uvs = {0, 0, 1, 1, 0.25f, 0.5f};
  mesh.colors = {1, 0.5f, 0, 0.5f, 1, 1, 1, 1, 0.3f, 0.3f, 0.3f, 1};
  struct Case { float u, v, s, t; };
  // Image at (100, 200), 64 x 32 texels.
  const Case cases[] = {{0, 0, 100, 200}, {1, 1, 164, 232}, {0.25f, 0.5f, 116, 216}, {-2, 3, 100, 232}, {NAN, 0.5f, 100, 216}};
  MeshLook look{100, 200, 64, 32, 0, 0};
  for (const Case& c : cases) {
    mesh.uvs[0] = c.u;
    mesh.uvs[1] = c.v;
    SolidBuffers solid(3);
    ForwardBuffers forward(3);
    MeshInstance instance;
    instance.tint[0] = 0.5f;
    writeSolidInstance(mesh.view(), look, instance, solid.target(3), 0);
    writeForwardInstance(mesh.view(), look, instance, forward.target(3), 0);
    EXPECT_EQ(solid.extra[0], c.s);
    EXPECT_EQ(solid.extra[1], c.t);
    EXPECT_EQ(solid.extra[2], 1.0f);
    EXPECT_EQ(solid.color[0], 0.5f);  // red 1 x tint 0.5
    // The forward form: (-1 - s, t, brightness, alpha), brightness the mean of the tinted colour.
    EXPECT_EQ(forward.color[0], -1.0f - c.s);
    EXPECT_EQ(forward.color[1], c.t);
    EXPECT_NEAR(forward.color[2], (0.5f + 0.5f + 0.0f) / 3.0f, 1e-7);
    EXPECT_EQ(forward.color[3], 0.5f);
  }
  // No image (a side of 0) or no coordinates: untextured.
  for (const MeshLook& untextured : {MeshLook{100, 200, 0, 32, 0, 0}, MeshLook{100, 200, 64, NAN, 0, 0}}) {
    SolidBuffers solid(3);
    writeSolidInstance(mesh.view(), untextured, MeshInstance{}, solid.target(3), 0);
    EXPECT_EQ(solid.extra[0], 0.0f);
    EXPECT_EQ(solid.extra[2], 0.0f);
  }
}

TEST(MeshKernels, NonFiniteMatricesGiveNonFiniteOutputsNotFaults) {
  std::mt19937 rng(13);
  const TestMesh mesh = randomMesh(rng, 30, 2);
  for (float bad : {NAN, INFINITY, -INFINITY, 3e38f}) {
    std::vector<float> matrix = randomMatrix(rng, false), palette = randomMatrix(rng, false);
    matrix[5] = bad;
    palette[0] = bad;
    palette.insert(palette.end(), matrix.begin(), matrix.end());
    MeshInstance instance;
    instance.matrix = matrix.data();
    instance.palette = palette.data();
    instance.paletteCount = 2;
    SolidBuffers out(30);
    EXPECT_EQ(writeSolidInstance(mesh.view(), MeshLook{}, instance, out.target(30), 0), 30u);
  }
}

// --- mesh block and instance record -------------------------------------------------------------

TEST(MeshBlock, ReadsItsSectionsAndRefusesBlocksThatDoNotHoldThem) {
  // Each flag and the bytes per vertex of the sections it adds (positions always: 12).
  struct Case { uint32_t count, flags; size_t extraBytes; bool ok; };
  const uint32_t ALL = MESH_NORMALS | MESH_COLORS | MESH_UVS | MESH_SKIN;
  const Case cases[] = {
      {3, 0, 0, true},     {3, ALL, 0, true},   {0, ALL, 0, true},    {3, ALL, 100, true},
      {3, 0, 0, true},     {3, 1u << 4, 0, false}, {0xFFFFFFFFu, ALL, 0, false}, {0x20000000u, 0, 0, false},
  };
  for (const Case& c : cases) {
    const size_t perVertex = 12 + ((c.flags & MESH_NORMALS) ? 12 : 0) + ((c.flags & MESH_COLORS) ? 16 : 0) +
                             ((c.flags & MESH_UVS) ? 8 : 0) + ((c.flags & MESH_SKIN) ? 24 : 0);
    const size_t needed = 64 + (c.ok ? c.count * perVertex : 0) + c.extraBytes;
    std::vector<uint32_t> words((needed + 3) / 4 + 1, 0);
    words[0] = c.count;
    words[1] = c.flags;
    const float look[6] = {1, 2, 3, 4, 0.5f, 6};
    std::memcpy(&words[2], look, sizeof look);
    const uint8_t* block = reinterpret_cast<const uint8_t*>(words.data());
    MeshView mesh;
    MeshLook got;
    EXPECT_EQ(readMeshBlock(block, needed, &mesh, &got), c.ok) << c.count << " " << c.flags;
    if (!c.ok) continue;
    EXPECT_EQ(mesh.vertexCount, c.count);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(mesh.positions), block + 64);
    EXPECT_EQ(got.atlasHeight, 4.0f);
    EXPECT_EQ(got.emission, 6.0f);
    if (c.flags == ALL) {
      // Sections in order: positions, normals, colours, uvs, joints, weights.
      const uint8_t* at = block + 64 + 12 * c.count;
      EXPECT_EQ(reinterpret_cast<const uint8_t*>(mesh.normals), at);
      EXPECT_EQ(reinterpret_cast<const uint8_t*>(mesh.colors), at += 12 * c.count);
      EXPECT_EQ(reinterpret_cast<const uint8_t*>(mesh.uvs), at += 16 * c.count);
      EXPECT_EQ(reinterpret_cast<const uint8_t*>(mesh.joints), at += 8 * c.count);
      EXPECT_EQ(reinterpret_cast<const uint8_t*>(mesh.weights), at += 8 * c.count);
      // One byte short of the last section is refused.
      if (c.count && !c.extraBytes) {
        EXPECT_FALSE(readMeshBlock(block, needed - 1, &mesh, &got));
      }
    } else if (c.flags == 0) {
      EXPECT_EQ(mesh.normals, nullptr);
      EXPECT_EQ(mesh.joints, nullptr);
    }
  }
  // Too short for the header, or misaligned.
  std::vector<uint32_t> words(32, 0);
  MeshView mesh;
  MeshLook look;
  EXPECT_FALSE(readMeshBlock(reinterpret_cast<const uint8_t*>(words.data()), 63, &mesh, &look));
  EXPECT_FALSE(readMeshBlock(reinterpret_cast<const uint8_t*>(words.data()) + 2, 100, &mesh, &look));
  EXPECT_FALSE(readMeshBlock(nullptr, 100, &mesh, &look));
}

TEST(InstanceRecord, ClipsItsPaletteRangeToThePaletteBlock) {
  std::vector<float> palette(16 * 10, 0.0f);
  struct Case { uint32_t first, count; size_t paletteMatrices; uint32_t gotFirst, gotCount; };
  const Case cases[] = {
      {0, 10, 10, 0, 10}, {2, 5, 10, 2, 5}, {8, 5, 10, 8, 2}, {10, 1, 10, 0, 0},
      {0xFFFFFFFFu, 0xFFFFFFFFu, 10, 0, 0}, {3, 0, 10, 0, 0}, {0, 4, 0, 0, 0},
  };
  for (const Case& c : cases) {
    std::vector<uint32_t> record(INSTANCE_RECORD_WORDS, 0);
    record[0] = 42;
    record[1] = INSTANCE_UNCULLED;
    record[2] = c.first;
    record[3] = c.count;
    const float tint[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    std::memcpy(&record[20], tint, sizeof tint);
    InstanceRecord r;
    readInstanceRecord(reinterpret_cast<const uint8_t*>(record.data()), palette.data(), c.paletteMatrices, &r);
    EXPECT_EQ(r.mesh, 42u);
    EXPECT_EQ(r.batch, INSTANCE_UNCULLED);
    EXPECT_EQ(r.instance.tint[3], 0.4f);
    EXPECT_EQ(reinterpret_cast<const void*>(r.instance.matrix), reinterpret_cast<const void*>(&record[4]));
    EXPECT_EQ(r.instance.paletteCount, c.gotCount) << c.first << "+" << c.count;
    if (c.gotCount) EXPECT_EQ(r.instance.palette, palette.data() + 16 * c.gotFirst);
    else EXPECT_EQ(r.instance.palette, nullptr);
  }
}
