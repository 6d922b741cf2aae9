// The retained-mesh kernels against a plain reference in double precision (4x4 products, the skin
// matrix summed joint by joint over the joints that weigh something), normals checked against what
// defines them; whole triangles within capacity, texture coordinates, the mesh block reader and the
// instance record's palette clipping.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "gfx/core/meshkernels.h"

using namespace tsm::gfx;

namespace {
struct TestMesh {
  std::vector<float> positions, normals, colors, uvs, weights;
  std::vector<uint16_t> joints;
  MeshView view() const {
    auto at = [](const auto& v) { return v.empty() ? nullptr : v.data(); };
    MeshView m;
    m.vertexCount = static_cast<uint32_t>(positions.size() / 3);
    m.positions = at(positions), m.normals = at(normals), m.colors = at(colors), m.uvs = at(uvs);
    m.joints = at(joints), m.weights = at(weights);
    return m;
  }
};

// Random vertices; joints up to `jointRange` and now and then 65535, weights now and then 0,
// negative, infinite or not a number, and all four of them so for one vertex in eight.
TestMesh randomMesh(std::mt19937& rng, uint32_t vertices, uint32_t jointRange) {
  std::uniform_real_distribution<float> unit(-1, 1), positive(0, 1);
  const float bad[] = {0.0f, -1.0f, NAN, INFINITY};
  TestMesh m;
  for (uint32_t v = 0; v < vertices; ++v) {
    const float n[3] = {unit(rng), unit(rng), unit(rng)}, len = std::hypot(n[0], n[1], n[2]) + 1e-3f;
    for (int k = 0; k < 3; ++k) m.positions.push_back(unit(rng) * 3), m.normals.push_back(n[k] / len);
    for (int k = 0; k < 4; ++k) {
      m.colors.push_back(positive(rng));
      m.joints.push_back(static_cast<uint16_t>(rng() % 16 == 0 ? 65535 : rng() % jointRange));
      m.weights.push_back(v % 8 == 0 || rng() % 6 == 0 ? bad[rng() % 4] : positive(rng));
    }
    m.uvs.push_back(positive(rng)), m.uvs.push_back(positive(rng));
  }
  return m;
}

// Appends a column-major 4x4: the identity plus `spread` times random entries, redrawn until well away
// from singular, x negated when mirrored, and a random translation.
std::vector<float>& addMatrix(std::vector<float>& to, std::mt19937& rng, float spread, bool mirror = false) {
  std::uniform_real_distribution<float> unit(-1, 1);
  float m[16] = {};
  for (float det = 0; det < 0.3f;) {
    for (int i = 0; i < 11; ++i) m[i] = i % 4 == 3 ? 0.0f : (i % 5 == 0) + spread * unit(rng);
    det = m[0] * (m[5] * m[10] - m[6] * m[9]) - m[4] * (m[1] * m[10] - m[2] * m[9]) + m[8] * (m[1] * m[6] - m[2] * m[5]);
  }
  for (int i = 0; i < 3; ++i) m[i] = mirror ? -m[i] : m[i], m[12 + i] = 4 * unit(rng);
  m[15] = 1;
  to.insert(to.end(), m, m + 16);
  return to;
}

// The world matrix of vertex v (column-major, double): the instance's, times the weight-normalised sum
// of the joints that weigh something (finite positive weights of joints inside the palette), if any do.
std::array<double, 16> worldOf(const TestMesh& mesh, uint32_t v, const float* matrix, const float* palette, uint32_t paletteCount) {
  std::array<double, 16> skin{}, world{};
  double total = 0;
  for (int k = 0; k < 4; ++k) {
    const uint16_t j = mesh.joints[4 * v + k];
    const float w = mesh.weights[4 * v + k];
    if (!palette || j >= paletteCount || !std::isfinite(w) || w <= 0) continue;
    for (int i = 0; i < 16; ++i) skin[i] += w * palette[16 * j + i];
    total += w;
  }
  for (int i = 0; i < 16; ++i) skin[i] = total > 0 ? skin[i] / total : i % 5 == 0;
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r)
      for (int k = 0; k < 4; ++k) world[4 * c + r] += matrix[4 * k + r] * skin[4 * c + k];
  return world;
}

// Output arrays for `capacity` vertices, filled with a canary value.
struct Buffers {
  std::vector<float> position, normal, color, material, extra, fPosition, fNormal, fColor;
  explicit Buffers(uint32_t n)
      : position(3 * n, -7.5f), normal(3 * n, -7.5f), color(3 * n, -7.5f), material(3 * n, -7.5f), extra(3 * n, -7.5f),
        fPosition(3 * n, -7.5f), fNormal(3 * n, -7.5f), fColor(4 * n, -7.5f) {}
  // Both writers; answers what each wrote, which must agree.
  uint32_t write(const MeshView& mesh, const MeshLook& look, const MeshInstance& instance, uint32_t capacity, uint32_t first) {
    const uint32_t solid = writeSolidInstance(mesh, look, instance, {position.data(), normal.data(), color.data(), material.data(), extra.data(), capacity}, first);
    EXPECT_EQ(writeForwardInstance(mesh, look, instance, {fPosition.data(), fNormal.data(), fColor.data(), capacity}, first), solid);
    return solid;
  }
};
}  // namespace

TEST(MeshKernels, MatchTheReferenceOverRandomMeshesInstancesAndPalettes) {
  std::mt19937 rng(20240611);
  const struct { uint32_t vertices, joints; bool skinned, mirror, bare; } cases[] = {
      {3, 0, false, false, true}, {30, 0, false, true, false}, {99, 8, true, false, false}, {60, 30, true, true, false},
      {300, 200, true, false, false}};
  for (const auto& c : cases) {
    TestMesh mesh = randomMesh(rng, c.vertices, c.joints + 3);
    if (c.bare) mesh.normals.clear(), mesh.colors.clear();  // normals (0, 0, 0), colours white
    MeshView view = mesh.view();
    if (!c.skinned) view.joints = nullptr;
    std::vector<float> matrix, palette;
    addMatrix(matrix, rng, 1, c.mirror);
    for (uint32_t j = 0; j < c.joints; ++j) addMatrix(palette, rng, 0.3f);
    const MeshInstance instance{matrix.data(), {0.5f, 1.0f, 0.25f, 0.75f}, c.skinned ? palette.data() : nullptr, c.skinned ? c.joints : 0};
    const float* tint = instance.tint;
    const MeshLook look{0, 0, 0, 0, 0.25f, 2};
    Buffers out(c.vertices);
    ASSERT_EQ(out.write(view, look, instance, c.vertices, 0), c.vertices);
    for (uint32_t v = 0; v < c.vertices; ++v) {
      const std::array<double, 16> w = worldOf(mesh, v, matrix.data(), instance.palette, instance.paletteCount);
      const uint32_t o = !c.mirror || v % 3 == 0 ? v : v % 3 == 1 ? v + 1 : v - 1;  // mirrored: last two trade places
      const float* p = &mesh.positions[3 * v];
      const float* n = &out.normal[3 * o];
      double d[3], dn = 0, nn = 0, ss = 0;  // d = W^T n': parallel to the source normal, same direction
      for (int i = 0; i < 3; ++i) {
        const double ref = w[i] * p[0] + w[4 + i] * p[1] + w[8 + i] * p[2] + w[12 + i];
        EXPECT_NEAR(out.position[3 * o + i], ref, 1e-4 * (1 + std::fabs(ref))) << c.vertices << " vertex " << v;
        EXPECT_NEAR(out.color[3 * o + i], (c.bare ? 1 : mesh.colors[4 * v + i]) * tint[i], 1e-6);
        EXPECT_TRUE(out.fPosition[3 * o + i] == out.position[3 * o + i] && out.fNormal[3 * o + i] == n[i]);
        EXPECT_TRUE(out.material[3 * o + i] == (i == 0 ? 0.25f : i == 1 ? 0.0f : 2.0f) && out.extra[3 * o + i] == 0.0f);
        d[i] = w[4 * i] * n[0] + w[4 * i + 1] * n[1] + w[4 * i + 2] * n[2];
        ss += n[i] * n[i];
      }
      EXPECT_NEAR(out.fColor[4 * o + 3], (c.bare ? 1 : mesh.colors[4 * v + 3]) * tint[3], 1e-6);
      if (c.bare) {
        EXPECT_EQ(ss, 0.0) << v;
        continue;
      }
      const float* src = &mesh.normals[3 * v];
      for (int i = 0; i < 3; ++i) dn += d[i] * src[i], nn += d[i] * d[i];
      EXPECT_NEAR(ss, 1.0, 1e-5) << c.vertices << " vertex " << v;
      EXPECT_GT(dn, 0.0) << c.vertices << " vertex " << v;
      EXPECT_NEAR(dn * dn, nn * (src[0] * src[0] + src[1] * src[1] + src[2] * src[2]), 1e-5 * nn) << c.vertices << " vertex " << v;
    }
  }
  // Matrices that are not finite give outputs that are not finite, never a fault.
  const TestMesh mesh = randomMesh(rng, 30, 2);
  for (float bad : {NAN, INFINITY, -INFINITY, 3e38f}) {
    std::vector<float> matrix, palette;
    addMatrix(addMatrix(palette, rng, 1), rng, 1)[0] = bad;
    addMatrix(matrix, rng, 1)[5] = palette[21] = bad;
    MeshInstance instance;
    instance.matrix = matrix.data(), instance.palette = palette.data(), instance.paletteCount = 2;
    Buffers out(30);
    EXPECT_EQ(out.write(mesh.view(), MeshLook{}, instance, 30, 0), 30u);
  }
}

TEST(MeshKernels, WriteWholeTrianglesWithinCapacityAndNothingPast) {
  std::mt19937 rng(5);
  const TestMesh mesh = randomMesh(rng, 12, 1);
  const struct { uint32_t vertices, capacity, first, written; } cases[] = {
      {12, 12, 0, 12}, {12, 20, 4, 12}, {12, 11, 0, 9}, {12, 12, 4, 6}, {12, 12, 12, 0},
      {12, 12, 13, 0}, {12, 0, 0, 0},   {11, 12, 0, 9}, {2, 12, 0, 0},  {12, 5, 1, 3},
  };
  for (const auto& c : cases) {
    MeshView view = mesh.view();
    view.vertexCount = c.vertices;
    Buffers out(24);  // larger than the capacity: anything written past it shows
    EXPECT_EQ(out.write(view, MeshLook{}, MeshInstance{}, c.capacity, c.first), c.written);
    for (uint32_t v = 0; v < 24; ++v) {
      const bool written = v >= c.first && v < c.first + c.written;
      EXPECT_EQ(out.position[3 * v] != -7.5f, written) << c.vertices << "/" << c.capacity << "/" << c.first << " at " << v;
      EXPECT_EQ(out.extra[3 * v + 2] != -7.5f, written);
      EXPECT_EQ(out.fColor[4 * v + 3] != -7.5f, written);
    }
  }
}

// Coordinates map into the image's atlas rectangle, clamped; the forward form is (-1 - s, t,
// brightness, alpha), the brightness the mean of the tinted colour. No image size: untextured, the
// forward form the tinted colour.
TEST(MeshKernels, TextureCoordinatesMapIntoTheAtlasRectangleClamped) {
  TestMesh mesh{std::vector<float>(9, 0.0f), {}, {1, 0.5f, 0, 0.5f, 1, 1, 1, 1, 0.3f, 0.3f, 0.3f, 1}, {0, 0, 1, 1, 0.25f, 0.5f}, {}, {}};
  const MeshLook image{100, 200, 64, 32, 0, 0};  // at (100, 200), 64 x 32 texels
  const struct { MeshLook look; float u, v, s, t; } cases[] = {
      {image, 0, 0, 100, 200}, {image, 1, 1, 164, 232}, {image, 0.25f, 0.5f, 116, 216}, {image, -2, 3, 100, 232}, {image, NAN, 0.5f, 100, 216},
      {{100, 200, 0, 32, 0, 0}, 0.5f, 0.5f, 0, 0}, {{100, 200, 64, NAN, 0, 0}, 0.5f, 0.5f, 0, 0}};
  for (const auto& c : cases) {
    mesh.uvs[0] = c.u, mesh.uvs[1] = c.v;
    Buffers out(3);
    out.write(mesh.view(), c.look, MeshInstance{nullptr, {0.5f, 1, 1, 1}}, 3, 0);  // red 1 x tint 0.5 below
    const bool textured = c.s != 0;
    EXPECT_EQ(std::vector<float>(out.extra.begin(), out.extra.begin() + 3), (std::vector<float>{c.s, c.t, textured ? 1.0f : 0.0f})) << c.u;
    const std::vector<float> forward = textured ? std::vector<float>{-1.0f - c.s, c.t, (0.5f + 0.5f + 0.0f) / 3.0f, 0.5f} : std::vector<float>{0.5f, 0.5f, 0, 0.5f};
    EXPECT_EQ(std::vector<float>(out.fColor.begin(), out.fColor.begin() + 4), forward) << c.u;
    EXPECT_EQ(out.color[0], 0.5f);
  }
}

TEST(MeshBlock, ReadsItsSectionsAndRefusesBlocksThatDoNotHoldThem) {
  // Sections follow the 64-byte header in order: positions (12 bytes a vertex), normals (12),
  // colours (16), uvs (8), joints (8), weights (16).
  const uint32_t ALL = MESH_NORMALS | MESH_COLORS | MESH_UVS | MESH_SKIN;
  const struct { uint32_t count, flags; size_t extraBytes; bool ok; } cases[] = {
      {3, 0, 0, true}, {3, ALL, 0, true}, {0, ALL, 0, true}, {3, ALL, 100, true},
      {3, 1u << 4, 0, false}, {0xFFFFFFFFu, ALL, 0, false}, {0x20000000u, 0, 0, false},
  };
  for (const auto& c : cases) {
    const size_t perVertex = c.flags & ALL ? 72 : 12;
    const size_t needed = 64 + (c.ok ? c.count * perVertex : 0) + c.extraBytes;
    std::vector<uint32_t> words((needed + 3) / 4 + 1, 0);
    const float look[6] = {1, 2, 3, 4, 0.5f, 6};
    words[0] = c.count, words[1] = c.flags, std::memcpy(&words[2], look, sizeof look);
    const uint8_t* block = reinterpret_cast<const uint8_t*>(words.data());
    MeshView mesh;
    MeshLook got;
    EXPECT_EQ(readMeshBlock(block, needed, &mesh, &got), c.ok) << c.count << " " << c.flags;
    if (!c.ok) continue;
    EXPECT_TRUE(mesh.vertexCount == c.count && got.atlasHeight == 4.0f && got.emission == 6.0f);
    const void* at[6] = {mesh.positions, mesh.normals, mesh.colors, mesh.uvs, mesh.joints, mesh.weights};
    const size_t sizes[6] = {12, 12, 16, 8, 8, 16};
    for (size_t k = 0, offset = 64; k < 6; offset += sizes[k++] * c.count) EXPECT_EQ(at[k], k == 0 || c.flags == ALL ? block + offset : nullptr) << k;
    EXPECT_FALSE(c.flags == ALL && c.count && !c.extraBytes && readMeshBlock(block, needed - 1, &mesh, &got)) << "a byte short";
  }
  // Too short for the header, misaligned, missing.
  std::vector<uint32_t> words(32, 0);
  MeshView mesh;
  MeshLook look;
  EXPECT_FALSE(readMeshBlock(reinterpret_cast<const uint8_t*>(words.data()), 63, &mesh, &look));
  EXPECT_FALSE(readMeshBlock(reinterpret_cast<const uint8_t*>(words.data()) + 2, 100, &mesh, &look));
  EXPECT_FALSE(readMeshBlock(nullptr, 100, &mesh, &look));
}

TEST(InstanceRecord, ClipsItsPaletteRangeToThePaletteBlock) {
  std::vector<float> palette(16 * 10, 0.0f);
  const struct { uint32_t first, count; size_t paletteMatrices; uint32_t gotFirst, gotCount; } cases[] = {
      {0, 10, 10, 0, 10}, {2, 5, 10, 2, 5}, {8, 5, 10, 8, 2}, {10, 1, 10, 0, 0},
      {0xFFFFFFFFu, 0xFFFFFFFFu, 10, 0, 0}, {3, 0, 10, 0, 0}, {0, 4, 0, 0, 0},
  };
  for (const auto& c : cases) {
    std::vector<uint32_t> record(INSTANCE_RECORD_WORDS, 0);
    const float alpha = 0.4f;
    record[0] = 42, record[1] = INSTANCE_UNCULLED, record[2] = c.first, record[3] = c.count, std::memcpy(&record[23], &alpha, 4);
    InstanceRecord r;
    readInstanceRecord(reinterpret_cast<const uint8_t*>(record.data()), palette.data(), c.paletteMatrices, &r);
    EXPECT_TRUE(r.mesh == 42u && r.batch == INSTANCE_UNCULLED && r.instance.tint[3] == 0.4f);
    EXPECT_EQ(static_cast<const void*>(r.instance.matrix), static_cast<const void*>(&record[4]));
    EXPECT_EQ(r.instance.paletteCount, c.gotCount) << c.first << "+" << c.count;
    EXPECT_EQ(r.instance.palette, c.gotCount ? palette.data() + 16 * c.gotFirst : nullptr);
  }
}
