// Fuzz target: the retained-mesh kernels, mesh block reader and instance record. Any block is refused or
// read within it; the kernels write the whole triangles that fit and nothing else; a palette range lies
// inside the palette. Built meshes (1/16 grid): unit normals, texture coordinates inside the image, a
// joint past the palette weighs nothing.

#include "fuzzlog.h"
#include "gfx/core/meshkernels.h"

using namespace tsm::gfx;

namespace {
constexpr uint32_t MAX_VERTICES = 600, MAX_JOINTS = 300;  // per case
constexpr float CANARY = -12345.0f;

// Solid position, normal, color, material, extra; forward position, normal, color.
struct Outputs {
  std::vector<float> a[8];
  explicit Outputs(uint32_t room) { for (int k = 0; k < 8; ++k) a[k].assign((k == 7 ? 4 : 3) * room, CANARY); }
  // The count both kernels wrote, or -1 when they differ.
  int64_t write(const MeshView& m, const MeshLook& l, const MeshInstance& i, uint32_t capacity, uint32_t first) {
    const uint32_t n = writeSolidInstance(m, l, i, {a[0].data(), a[1].data(), a[2].data(), a[3].data(), a[4].data(), capacity}, first);
    return writeForwardInstance(m, l, i, {a[5].data(), a[6].data(), a[7].data(), capacity}, first) == n ? n : -1;
  }
};

NO_COVERAGE bool canariesOutside(const Outputs& o, size_t room, size_t first, size_t n) {
  for (const std::vector<float>& v : o.a) {
    const size_t width = v.size() / room;
    for (size_t k = 0; k < v.size(); ++k) if (v[k] != CANARY && (k < first * width || k >= (first + n) * width)) return false;
  }
  return true;
}

uint32_t expectedCount(uint32_t vertices, uint32_t capacity, uint32_t first) {
  return first >= capacity ? 0 : std::min(capacity - first, vertices) / 3 * 3;
}

float grid(FuzzedDataProvider& in, int range) { return in.ConsumeIntegralInRange<int>(-16 * range, 16 * range) / 16.0f; }

void rawCase(FuzzedDataProvider& in) {
  const uint32_t capacity = in.ConsumeIntegralInRange<uint32_t>(0, 64), first = in.ConsumeIntegralInRange<uint32_t>(0, 70);
  const uint32_t joints = in.ConsumeIntegralInRange<uint32_t>(0, 8);
  std::vector<float> palette(16 * joints);
  for (float& f : palette) f = in.ConsumeFloatingPoint<float>();
  const std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();
  const tsm::fuzz::Exact block(bytes.size(), bytes.data());  // malloc aligns it as a block is
  MeshView mesh;
  MeshLook look;
  if (!readMeshBlock(block.p, bytes.size(), &mesh, &look)) return;
  FUZZ_REQUIRE(MESH_HEADER_WORDS * 4 + static_cast<size_t>(mesh.vertexCount) * 12 <= bytes.size());
  const MeshInstance instance{nullptr, {1, 1, 1, 1}, joints ? palette.data() : nullptr, joints};
  FUZZ_REQUIRE(Outputs(capacity).write(mesh, look, instance, capacity, first) == expectedCount(mesh.vertexCount, capacity, first));
}

void recordCase(FuzzedDataProvider& in) {
  uint32_t record[INSTANCE_RECORD_WORDS];
  for (uint32_t& w : record) w = in.ConsumeIntegral<uint32_t>();
  if (in.ConsumeBool()) record[2] = in.ConsumeIntegralInRange<uint32_t>(0, 40);
  if (in.ConsumeBool()) record[3] = in.ConsumeIntegralInRange<uint32_t>(0, 40);
  const size_t matrices = in.ConsumeIntegralInRange<size_t>(0, MAX_SKIN_JOINTS + 40);
  std::vector<float> palette(16 * matrices + 1);
  InstanceRecord r;
  readInstanceRecord(reinterpret_cast<const uint8_t*>(record), palette.data(), matrices, &r);
  FUZZ_REQUIRE(r.mesh == record[0] && r.batch == record[1] && r.instance.paletteCount <= std::min(MAX_SKIN_JOINTS, record[3]));
  if (!r.instance.paletteCount) return FUZZ_REQUIRE(!r.instance.palette);
  FUZZ_REQUIRE(r.instance.palette == palette.data() + 16 * size_t{record[2]} && record[2] + size_t{r.instance.paletteCount} <= matrices);
}

void builtCase(FuzzedDataProvider& in) {
  const auto upTo = [&](uint32_t most) { return in.ConsumeIntegralInRange<uint32_t>(0, most); };
  const uint32_t vertices = upTo(MAX_VERTICES), joints = upTo(MAX_JOINTS), capacity = upTo(MAX_VERTICES + 10), first = upTo(20);
  const bool textured = in.ConsumeBool();
  std::vector<float> positions(3 * vertices), normals(3 * vertices), colors(4 * vertices), uvs(2 * vertices), weights(4 * vertices);
  std::vector<uint16_t> jointIndex(4 * vertices);
  const struct { std::vector<float>* a; int width, range; } fields[] = {{&positions, 3, 8}, {&normals, 3, 1}, {&colors, 4, 1}, {&uvs, 2, 2}};
  for (uint32_t v = 0; v < vertices && in.remaining_bytes(); ++v) {
    for (auto& f : fields) for (int k = 0; k < f.width; ++k) (*f.a)[f.width * v + k] = grid(in, f.range);
    for (int k = 0; k < 4; ++k) {  // a little past the palette, and sometimes far past it
      jointIndex[4 * v + k] = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint16_t>(0, joints + 4) : in.ConsumeIntegral<uint16_t>();
      weights[4 * v + k] = grid(in, 2);
    }
  }
  std::vector<float> palette(16 * joints + 16);  // the instance matrix after the palette
  for (uint32_t k = 0; k < palette.size(); ++k) palette[k] = k % 4 == 3 ? (k % 16 == 15) : grid(in, 2);
  const MeshView mesh{positions.data(), normals.data(), colors.data(), uvs.data(), jointIndex.data(), weights.data(), vertices};
  MeshLook look{3, 4, textured ? 16.0f : 0.0f, 8, 0.5f, 1};
  MeshInstance instance{&palette[16 * joints], {}, joints ? palette.data() : nullptr, joints};
  for (float& t : instance.tint) t = grid(in, 1);

  Outputs a(capacity + 8);
  const uint32_t n = expectedCount(vertices, capacity, first);
  FUZZ_REQUIRE(a.write(mesh, look, instance, capacity, first) == n);
  FUZZ_REQUIRE(canariesOutside(a, capacity + 8, first, n));
  FUZZ_REQUIRE(std::memcmp(a.a[5].data(), a.a[0].data(), a.a[0].size() * sizeof(float)) == 0);
  for (uint32_t i = first; i < first + n; ++i) {
    const float *normal = &a.a[1][3 * i], *extra = &a.a[4][3 * i];
    const double length = std::hypot(double{normal[0]}, double{normal[1]}, double{normal[2]});
    FUZZ_REQUIRE(length == 0 || std::fabs(length * length - 1) < 1e-4);
    FUZZ_REQUIRE(textured ? extra[2] == 1 && extra[0] >= 3 && extra[0] <= 19 : extra[2] == 0);
  }

  std::vector<float> zeroed = weights;
  for (size_t k = 0; k < jointIndex.size(); ++k) zeroed[k] = jointIndex[k] >= joints ? 0 : zeroed[k];
  Outputs b(capacity + 8);
  b.write({mesh.positions, mesh.normals, mesh.colors, mesh.uvs, mesh.joints, zeroed.data(), vertices}, look, instance, capacity, first);
  FUZZ_REQUIRE(a.a[0] == b.a[0] && a.a[1] == b.a[1]);
}
}  // namespace

FUZZ_TARGET {
  const int mode = in.ConsumeIntegralInRange<int>(0, 7);
  mode == 0 ? rawCase(in) : mode == 1 ? recordCase(in) : builtCase(in);
}
