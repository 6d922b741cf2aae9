// Retained-mesh kernels and the mesh block reader. See meshkernels.h.
//
// Matrices are kept as their affine part, 12 floats: the three columns of the upper 3x3, then the
// translation. A skinned instance first combines every palette matrix it may read with the instance
// matrix (instance x joint, on the stack), so each vertex blends up to four ready matrices and
// needs no second product: by linearity, instance x (sum w_k joint_k) = sum w_k (instance x joint_k).
// Normals go through the cofactor matrix of the vertex's 3x3, which is its inverse transpose times
// the determinant: after renormalising only the determinant's sign matters, and no division by a
// possibly zero determinant happens.
//
// Sections: matrices | one vertex | the shared walk | writers | mesh block and instance record
#include "gfx/core/meshkernels.h"

#include <cmath>
#include <cstring>

namespace tsm::gfx {
namespace {
// --- matrices -----------------------------------------------------------------------------------

constexpr float IDENTITY[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// The affine part of a column-major 4x4.
inline void affineOf(const float* m, float* a) {
  a[0] = m[0]; a[1] = m[1]; a[2] = m[2];
  a[3] = m[4]; a[4] = m[5]; a[5] = m[6];
  a[6] = m[8]; a[7] = m[9]; a[8] = m[10];
  a[9] = m[12]; a[10] = m[13]; a[11] = m[14];
}

// out = a x b, both affine.
inline void affineProduct(const float* a, const float* b, float* out) {
  for (int c = 0; c < 4; ++c) {
    const float x = b[3 * c], y = b[3 * c + 1], z = b[3 * c + 2];
    const float w = c == 3 ? 1.0f : 0.0f;
    for (int r = 0; r < 3; ++r) out[3 * c + r] = a[r] * x + a[3 + r] * y + a[6 + r] * z + a[9 + r] * w;
  }
}

// The 3x3's cofactor matrix (column-major, 9 floats) and the sign of its determinant (+1 for 0 or
// not a number): n' = sign x cof x n points along the inverse transpose's image of n.
inline float cofactor(const float* a, float* cof) {
  const float* c0 = a;
  const float* c1 = a + 3;
  const float* c2 = a + 6;
  // Columns of the cofactor matrix: c1 x c2, c2 x c0, c0 x c1.
  cof[0] = c1[1] * c2[2] - c1[2] * c2[1];
  cof[1] = c1[2] * c2[0] - c1[0] * c2[2];
  cof[2] = c1[0] * c2[1] - c1[1] * c2[0];
  cof[3] = c2[1] * c0[2] - c2[2] * c0[1];
  cof[4] = c2[2] * c0[0] - c2[0] * c0[2];
  cof[5] = c2[0] * c0[1] - c2[1] * c0[0];
  cof[6] = c0[1] * c1[2] - c0[2] * c1[1];
  cof[7] = c0[2] * c1[0] - c0[0] * c1[2];
  cof[8] = c0[0] * c1[1] - c0[1] * c1[0];
  const float det = c0[0] * cof[0] + c0[1] * cof[1] + c0[2] * cof[2];
  return det < 0 ? -1.0f : 1.0f;
}

// --- one vertex ---------------------------------------------------------------------------------

// A vertex placed in the world, before it is written in a batch's form.
struct Placed {
  float p[3];
  float n[3];
  float c[4];
  float s, t;
  bool textured;
};

inline void placePosition(const float* a, const float* v, float* p) {
  p[0] = a[0] * v[0] + a[3] * v[1] + a[6] * v[2] + a[9];
  p[1] = a[1] * v[0] + a[4] * v[1] + a[7] * v[2] + a[10];
  p[2] = a[2] * v[0] + a[5] * v[1] + a[8] * v[2] + a[11];
}

inline void placeNormal(const float* cof, float sign, const float* v, float* n) {
  const float x = (cof[0] * v[0] + cof[3] * v[1] + cof[6] * v[2]) * sign;
  const float y = (cof[1] * v[0] + cof[4] * v[1] + cof[7] * v[2]) * sign;
  const float z = (cof[2] * v[0] + cof[5] * v[1] + cof[8] * v[2]) * sign;
  const float len = std::sqrt(x * x + y * y + z * z);
  if (len > 0) {
    n[0] = x / len; n[1] = y / len; n[2] = z / len;
  } else {
    n[0] = x; n[1] = y; n[2] = z;
  }
}

// The blended skin matrix of vertex `v` (affine, already combined with the instance) into `out`;
// false when no joint weighs anything (the vertex keeps its bind pose).
inline bool blendJoints(const uint16_t* joints, const float* weights, uint32_t v, const float (*combined)[12],
                        uint32_t jointCount, float* out) {
  float w[4];
  uint32_t j[4];
  float sum = 0;
  for (int k = 0; k < 4; ++k) {
    j[k] = joints[4 * v + k];
    const float wk = weights[4 * v + k];
    // Negative, not-a-number and infinite weights and joints past the palette weigh nothing.
    w[k] = (wk > 0 && wk < INFINITY && j[k] < jointCount) ? wk : 0.0f;
    sum += w[k];
  }
  if (!(sum > 0)) return false;
  const float inv = 1.0f / sum;
  for (int i = 0; i < 12; ++i) out[i] = 0;
  for (int k = 0; k < 4; ++k) {
    if (w[k] == 0) continue;
    const float wk = w[k] * inv;
    const float* m = combined[j[k]];
    for (int i = 0; i < 12; ++i) out[i] += wk * m[i];
  }
  return true;
}

// --- the shared walk ----------------------------------------------------------------------------

// Places each vertex of the whole triangles that fit and hands it to `emit(index, placed)`, at the
// output index its triangle and the winding give. Returns the vertices written.
template <class Emit>
uint32_t placeInstance(const MeshView& mesh, const MeshLook& look, const MeshInstance& instance, uint32_t capacity,
                       uint32_t first, Emit emit) {
  if (!mesh.positions || first >= capacity) return 0;
  uint32_t count = capacity - first < mesh.vertexCount ? capacity - first : mesh.vertexCount;
  count -= count % 3;

  float base[12];
  affineOf(instance.matrix ? instance.matrix : IDENTITY, base);
  float baseCof[9];
  const float baseSign = cofactor(base, baseCof);
  const bool mirrored = baseSign < 0;

  const bool skinned = mesh.joints && mesh.weights && instance.palette && instance.paletteCount > 0;
  const uint32_t jointCount = !skinned ? 0 : instance.paletteCount < MAX_SKIN_JOINTS ? instance.paletteCount : MAX_SKIN_JOINTS;
  float combined[MAX_SKIN_JOINTS][12];
  for (uint32_t k = 0; k < jointCount; ++k) {
    float joint[12];
    affineOf(instance.palette + 16 * static_cast<size_t>(k), joint);
    affineProduct(base, joint, combined[k]);
  }

  const bool textured = mesh.uvs && look.atlasWidth > 0 && look.atlasHeight > 0;
  const float* tint = instance.tint;
  static constexpr float ZERO_NORMAL[3] = {0, 0, 0};
  static constexpr float WHITE[4] = {1, 1, 1, 1};
  float skin[12];
  float skinCof[9];
  Placed out;
  out.textured = textured;
  for (uint32_t v = 0; v < count; ++v) {
    const float* a = base;
    const float* cof = baseCof;
    float sign = baseSign;
    if (skinned && blendJoints(mesh.joints, mesh.weights, v, combined, jointCount, skin)) {
      a = skin;
      sign = cofactor(skin, skinCof);
      cof = skinCof;
    }
    placePosition(a, mesh.positions + 3 * static_cast<size_t>(v), out.p);
    placeNormal(cof, sign, mesh.normals ? mesh.normals + 3 * static_cast<size_t>(v) : ZERO_NORMAL, out.n);
    const float* c = mesh.colors ? mesh.colors + 4 * static_cast<size_t>(v) : WHITE;
    for (int k = 0; k < 4; ++k) out.c[k] = c[k] * tint[k];
    if (textured) {
      // fmin / fmax clamp into the image and turn a coordinate that is not a number into 0.
      const float u = std::fmin(std::fmax(mesh.uvs[2 * static_cast<size_t>(v)], 0.0f), 1.0f);
      const float w = std::fmin(std::fmax(mesh.uvs[2 * static_cast<size_t>(v) + 1], 0.0f), 1.0f);
      out.s = look.atlasX + u * look.atlasWidth;
      out.t = look.atlasY + w * look.atlasHeight;
    }
    // A mirrored triangle's second and third vertices trade places.
    uint32_t at = v;
    if (mirrored) {
      const uint32_t corner = v % 3;
      if (corner == 1) at = v + 1;
      else if (corner == 2) at = v - 1;
    }
    emit(first + at, out);
  }
  return count;
}
}  // namespace

// --- writers ------------------------------------------------------------------------------------

uint32_t writeSolidInstance(const MeshView& mesh, const MeshLook& look, const MeshInstance& instance,
                            const SolidTarget& out, uint32_t first) {
  const float specular = look.specular, emission = look.emission;
  return placeInstance(mesh, look, instance, out.capacity, first, [&](uint32_t index, const Placed& v) {
    const size_t i = 3 * static_cast<size_t>(index);
    out.position[i] = v.p[0]; out.position[i + 1] = v.p[1]; out.position[i + 2] = v.p[2];
    out.normal[i] = v.n[0]; out.normal[i + 1] = v.n[1]; out.normal[i + 2] = v.n[2];
    out.color[i] = v.c[0]; out.color[i + 1] = v.c[1]; out.color[i + 2] = v.c[2];
    out.material[i] = specular; out.material[i + 1] = 0; out.material[i + 2] = emission;
    if (v.textured) {
      out.extra[i] = v.s; out.extra[i + 1] = v.t; out.extra[i + 2] = 1;
    } else {
      out.extra[i] = 0; out.extra[i + 1] = 0; out.extra[i + 2] = 0;
    }
  });
}

uint32_t writeForwardInstance(const MeshView& mesh, const MeshLook& look, const MeshInstance& instance,
                              const ForwardTarget& out, uint32_t first) {
  return placeInstance(mesh, look, instance, out.capacity, first, [&](uint32_t index, const Placed& v) {
    const size_t i = 3 * static_cast<size_t>(index), j = 4 * static_cast<size_t>(index);
    out.position[i] = v.p[0]; out.position[i + 1] = v.p[1]; out.position[i + 2] = v.p[2];
    out.normal[i] = v.n[0]; out.normal[i + 1] = v.n[1]; out.normal[i + 2] = v.n[2];
    if (v.textured) {
      out.color[j] = -1.0f - v.s; out.color[j + 1] = v.t;
      out.color[j + 2] = (v.c[0] + v.c[1] + v.c[2]) / 3.0f; out.color[j + 3] = v.c[3];
    } else {
      out.color[j] = v.c[0]; out.color[j + 1] = v.c[1]; out.color[j + 2] = v.c[2]; out.color[j + 3] = v.c[3];
    }
  });
}

// --- mesh block and instance record -------------------------------------------------------------

void readInstanceRecord(const uint8_t* record, const float* palette, size_t paletteMatrices, InstanceRecord* out) {
  uint32_t words[4];
  std::memcpy(words, record, sizeof words);
  out->mesh = words[0];
  out->batch = words[1];
  const uint32_t firstJoint = words[2], joints = words[3];
  MeshInstance& instance = out->instance;
  instance.matrix = reinterpret_cast<const float*>(record + 16);
  std::memcpy(instance.tint, record + 80, sizeof instance.tint);
  if (!palette || firstJoint >= paletteMatrices || joints == 0) {
    instance.palette = nullptr;
    instance.paletteCount = 0;
    return;
  }
  const size_t left = paletteMatrices - firstJoint;
  instance.palette = palette + 16 * static_cast<size_t>(firstJoint);
  instance.paletteCount = joints < left ? joints : static_cast<uint32_t>(left < MAX_SKIN_JOINTS ? left : MAX_SKIN_JOINTS);
}

bool readMeshBlock(const uint8_t* block, size_t bytes, MeshView* mesh, MeshLook* look) {
  if (!block || reinterpret_cast<uintptr_t>(block) % 4 != 0 || bytes < MESH_HEADER_WORDS * 4) return false;
  uint32_t count, flags;
  std::memcpy(&count, block, 4);
  std::memcpy(&flags, block + 4, 4);
  if (flags & ~(MESH_NORMALS | MESH_COLORS | MESH_UVS | MESH_SKIN)) return false;
  // Bytes per vertex over every section present; at most 88, so the product below fits 64 bits.
  const uint64_t perVertex = 12 + ((flags & MESH_NORMALS) ? 12 : 0) + ((flags & MESH_COLORS) ? 16 : 0) +
                             ((flags & MESH_UVS) ? 8 : 0) + ((flags & MESH_SKIN) ? 8 + 16 : 0);
  if (static_cast<uint64_t>(count) * perVertex > bytes - MESH_HEADER_WORDS * 4) return false;

  MeshView m;
  m.vertexCount = count;
  const uint8_t* at = block + MESH_HEADER_WORDS * 4;
  auto take = [&](uint32_t bytesPerVertex) {
    const uint8_t* section = at;
    at += static_cast<size_t>(count) * bytesPerVertex;
    return section;
  };
  // Every section's size is a multiple of 4 bytes, so every section stays 4-byte aligned.
  m.positions = reinterpret_cast<const float*>(take(12));
  if (flags & MESH_NORMALS) m.normals = reinterpret_cast<const float*>(take(12));
  if (flags & MESH_COLORS) m.colors = reinterpret_cast<const float*>(take(16));
  if (flags & MESH_UVS) m.uvs = reinterpret_cast<const float*>(take(8));
  if (flags & MESH_SKIN) {
    m.joints = reinterpret_cast<const uint16_t*>(take(8));
    m.weights = reinterpret_cast<const float*>(take(16));
  }
  MeshLook l;
  std::memcpy(&l.atlasX, block + 8, 4);
  std::memcpy(&l.atlasY, block + 12, 4);
  std::memcpy(&l.atlasWidth, block + 16, 4);
  std::memcpy(&l.atlasHeight, block + 20, 4);
  std::memcpy(&l.specular, block + 24, 4);
  std::memcpy(&l.emission, block + 28, 4);
  *mesh = m;
  *look = l;
  return true;
}
}  // namespace tsm::gfx
