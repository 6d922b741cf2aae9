// Retained meshes drawn by the addon: the per-frame kernels that place one instance of a mesh
// (optionally skinned by a joint palette) straight into the vertex layout of the solid batch or of a
// forward batch (transparent, unculled), and the reader that checks a mesh block written by the host
// and views it as arrays. Pure: no GL, no Node-API; never allocates; every count and index is
// bounded by the arrays it indexes, whatever the inputs hold (non-finite numbers give non-finite
// outputs, never undefined behaviour).
// Callers: the bridge, once per drawn instance each frame; the unit tests, the fuzz target and the
// skinning benchmark.
//
// The mesh block (what the host writes once per mesh, little-endian 32-bit words):
//   word 0       u32 vertex count (a triangle list: every three vertices are one triangle)
//   word 1       u32 flags: MESH_NORMALS, MESH_COLORS, MESH_UVS, MESH_SKIN
//   words 2-5    f32 the image's rectangle in the sprite atlas: x, y, width, height in texels
//                (width or height 0: untextured)
//   word 6       f32 specular strength (solid batch), word 7 f32 emission (solid batch)
//   words 8-15   reserved, 0
//   then, one after the other, the sections the flags name, each vertexCount entries long:
//     positions  f32 x 3 (always)          normals  f32 x 3 (MESH_NORMALS)
//     colours    f32 x 4 rgba (MESH_COLORS) uvs     f32 x 2 (MESH_UVS), 0..1 of the image,
//                                                    u from its left, v from its top
//     joints     u16 x 4 (MESH_SKIN)       weights  f32 x 4 (MESH_SKIN)
// Texture coordinates stay 0..1 in the mesh and are mapped into the atlas by the rectangle when an
// instance is written, so a mesh block need not change when its image moves in the atlas. They are
// clamped to 0..1: an atlas cannot repeat an image, and a clamped texel never reads a neighbour's.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tsm::gfx {
// Words of a mesh block's header.
constexpr uint32_t MESH_HEADER_WORDS = 16;
// Bits of a mesh block's flags word.
constexpr uint32_t MESH_NORMALS = 1u << 0;
constexpr uint32_t MESH_COLORS = 1u << 1;
constexpr uint32_t MESH_UVS = 1u << 2;
constexpr uint32_t MESH_SKIN = 1u << 3;
// Most joints a palette is read for: joint indices at or past it (or past the palette given) weigh
// 0. Bounds the kernel's stack copy of the palette combined with the instance matrix (12 KiB).
constexpr uint32_t MAX_SKIN_JOINTS = 256;

// A mesh as arrays; optional arrays are null when absent.
struct MeshView {
  const float* positions = nullptr;  // 3 per vertex
  const float* normals = nullptr;    // 3 per vertex; null: every normal is (0, 0, 0)
  const float* colors = nullptr;     // 4 per vertex (rgba); null: white
  const float* uvs = nullptr;        // 2 per vertex, 0..1 of the image; null: untextured
  const uint16_t* joints = nullptr;  // 4 per vertex; null (or weights null): not skinned
  const float* weights = nullptr;    // 4 per vertex
  uint32_t vertexCount = 0;
};

// What a mesh's vertices share: the image's place in the atlas and the solid batch's material.
struct MeshLook {
  float atlasX = 0, atlasY = 0, atlasWidth = 0, atlasHeight = 0;  // texels; a side of 0: untextured
  float specular = 0;
  float emission = 0;
};

// One placement of a mesh: a column-major 4x4 matrix (its bottom row is taken as 0, 0, 0, 1), a
// tint that multiplies the vertex colours, and a palette of `paletteCount` column-major 4x4 joint
// matrices (world(joint) x inverse bind), used only for a skinned mesh; palette null or count 0:
// every vertex in its bind pose.
struct MeshInstance {
  const float* matrix = nullptr;
  float tint[4] = {1, 1, 1, 1};
  const float* palette = nullptr;
  uint32_t paletteCount = 0;
};

// The solid batch's five attribute arrays (3 floats per vertex each) and their capacity in vertices.
struct SolidTarget {
  float* position;
  float* normal;
  float* color;
  float* material;
  float* extra;
  uint32_t capacity;
};

// A forward batch's arrays (position 3, normal 3, colour 4 floats per vertex) and capacity.
struct ForwardTarget {
  float* position;
  float* normal;
  float* color;
  uint32_t capacity;
};

// The instance record the host writes per drawn instance (24 little-endian 32-bit words):
//   word 0 u32 mesh id, word 1 u32 batch (INSTANCE_SOLID, INSTANCE_TRANSPARENT, INSTANCE_UNCULLED),
//   word 2 u32 first palette matrix, word 3 u32 palette matrices (0: not skinned),
//   words 4-19 f32 the column-major matrix, words 20-23 f32 the tint (r, g, b, a).
constexpr uint32_t INSTANCE_RECORD_WORDS = 24;
enum InstanceBatch : uint32_t { INSTANCE_SOLID = 0, INSTANCE_TRANSPARENT = 1, INSTANCE_UNCULLED = 2 };

struct InstanceRecord {
  uint32_t mesh;
  uint32_t batch;
  MeshInstance instance;
};

// Reads the record at `record` (4-byte aligned, INSTANCE_RECORD_WORDS words) into `out`, its matrix
// pointing into the record. Its palette range is clipped to the `paletteMatrices` matrices of
// `palette`, so that no joint reads past the palette block: joints past the clipped range weigh 0.
void readInstanceRecord(const uint8_t* record, const float* palette, size_t paletteMatrices, InstanceRecord* out);

// Checks a mesh block of `bytes` bytes at `block` (4-byte aligned) and points `mesh` and `look` into
// it. False, leaving both untouched, when the block is misaligned, shorter than its header and the
// sections its count and flags need, or its flags have unknown bits.
bool readMeshBlock(const uint8_t* block, size_t bytes, MeshView* mesh, MeshLook* look);

// Writes `mesh` placed by `instance` into `out` from vertex `first` on: positions by the matrix,
// normals by the inverse transpose of its upper 3x3 (renormalised; a zero normal stays zero), colour
// times tint (alpha dropped), material (specular, 0, emission), extra (s, t, 1) in the atlas or
// (0, 0, 0). A skinned mesh blends up to four joints a vertex first (linear blend skinning; weights
// that are negative, not finite or on a joint past the palette count as 0, the rest are normalised,
// and a vertex left with none keeps its bind pose). A mirroring matrix (negative determinant) has
// each triangle's second and third vertex swapped, so the winding stays counter-clockwise outside.
// Writes whole triangles only, as many as fit before `capacity` (none when first >= capacity);
// returns the vertices written.
uint32_t writeSolidInstance(const MeshView& mesh, const MeshLook& look, const MeshInstance& instance,
                            const SolidTarget& out, uint32_t first);

// The same for a forward batch: colour times tint with alpha; a textured vertex takes the reference
// shaders' textured form (-1 - s, t, brightness, alpha), brightness the mean of its tinted r, g, b.
uint32_t writeForwardInstance(const MeshView& mesh, const MeshLook& look, const MeshInstance& instance,
                              const ForwardTarget& out, uint32_t first);
}  // namespace tsm::gfx
