// Retained meshes: the store and the drawMeshes command. See meshes.h.
//
// Sections: state | store | batches | drawMeshes | end of frame
#include "gfx/meshes.h"

#include <cstdlib>
#include <cstring>

#include "base/check.h"
#include "bridge/buffers.h"
#include "gfx/core/meshkernels.h"
#include "gfx/pipelines.h"

namespace tsm::gfx {
namespace {
constexpr const char* checkModule = "gfx";

// --- state --------------------------------------------------------------------------------------

// One stored mesh: its copy of the host's block and the kernels' view into that copy.
struct StoredMesh {
  uint8_t* data;  // null: the id is free
  uint64_t bytes;
  MeshView view;
  MeshLook look;
};

// The batches an instance record can name, in InstanceBatch order.
constexpr uint32_t MESH_BATCH_COUNT = 3;
constexpr PipelineIndex BATCH_PIPELINES[MESH_BATCH_COUNT] = {SOLID_PIPELINE, TRANSPARENCY_PIPELINE, UNCULLED_PIPELINE};
constexpr uint32_t BATCH_ATTRIBUTES[MESH_BATCH_COUNT] = {5, 3, 3};
// Floats per vertex of each attribute (solid: position, normal, colour, material, extra; forward:
// position, normal, colour with alpha).
constexpr uint32_t BATCH_FLOATS[MESH_BATCH_COUNT][MAX_PIPELINE_ATTRIBUTES] = {{3, 3, 3, 3, 3}, {3, 3, 4, 0, 0}, {3, 3, 4, 0, 0}};

// A batch drawMeshes appended to since the last tick: its attribute blocks, the lengths the host had
// written, the vertex count the appends reached, and whether the lengths are now the raised ones.
struct BatchAppend {
  bool pending;
  bool raised;
  uint32_t blockIds[MAX_PIPELINE_ATTRIBUTES];
  uint32_t hostLengths[MAX_PIPELINE_ATTRIBUTES];
  uint32_t end;  // vertices in the batch after the appends
};

struct MeshState {
  StoredMesh meshes[MESH_COUNT];
  uint32_t live;
  uint64_t storeBytes;
  BatchAppend appends[MESH_BATCH_COUNT];
};
MeshState state;

// A shared block's base and size, or false for an id that names none (or a misaligned one: the
// kernels read whole floats).
bool blockOf(int64_t id, const uint8_t** data, uint64_t* bytes) {
  if (id < 0 || id >= static_cast<int64_t>(bridge::bufferCount)) return false;
  const uint8_t* base = bridge::blockData(static_cast<uint32_t>(id));
  if (!base || reinterpret_cast<uintptr_t>(base) % 4 != 0) return false;
  *data = base;
  *bytes = bridge::blockBytes(static_cast<uint32_t>(id));
  return true;
}

// A host number as a block id: -1 for NaN, negatives and values past the table.
int64_t idOf(double value) {
  return value >= 0 && value < static_cast<double>(bridge::bufferCount) ? static_cast<int64_t>(value) : -1;
}
}  // namespace

// --- store --------------------------------------------------------------------------------------

int32_t createMesh(int64_t blockId) {
  const uint8_t* block;
  uint64_t bytes;
  if (!blockOf(blockId, &block, &bytes)) return contract::MESH_NO_BLOCK;
  MeshView view;
  MeshLook look;
  if (!readMeshBlock(block, bytes, &view, &look)) return contract::MESH_BAD_BLOCK;
  if (view.vertexCount == 0 || view.vertexCount % 3 != 0 || view.vertexCount > MAX_MESH_VERTICES) {
    return contract::MESH_BAD_BLOCK;
  }
  // Only the header and the sections the flags name are kept; the rest of the block is the host's.
  uint32_t flags;
  std::memcpy(&flags, block + 4, 4);
  const uint64_t perVertex = 12 + ((flags & MESH_NORMALS) ? 12 : 0) + ((flags & MESH_COLORS) ? 16 : 0) +
                             ((flags & MESH_UVS) ? 8 : 0) + ((flags & MESH_SKIN) ? 24 : 0);
  const uint64_t used = MESH_HEADER_WORDS * 4 + static_cast<uint64_t>(view.vertexCount) * perVertex;
  uint32_t id = 0;
  while (id < MESH_COUNT && state.meshes[id].data) ++id;
  if (id == MESH_COUNT || used > MAX_MESH_STORE_BYTES - state.storeBytes) return contract::MESH_STORE_FULL;

  uint8_t* copy = static_cast<uint8_t*>(std::malloc(used));
  CHECK(copy && "Out of memory");
  std::memcpy(copy, block, used);
  StoredMesh& m = state.meshes[id];
  // The copy holds exactly what was checked, so it reads back the same.
  CHECK(readMeshBlock(copy, used, &m.view, &m.look));
  m.data = copy;
  m.bytes = used;
  state.live += 1;
  state.storeBytes += used;
  return static_cast<int32_t>(id);
}

int32_t releaseMesh(int64_t id) {
  if (id < 0 || id >= static_cast<int64_t>(MESH_COUNT) || !state.meshes[id].data) return contract::MESH_UNKNOWN;
  StoredMesh& m = state.meshes[id];
  std::free(m.data);
  state.storeBytes -= m.bytes;
  state.live -= 1;
  m = StoredMesh{};
  return 0;
}

uint32_t liveMeshes() { return state.live; }
uint64_t meshStoreBytes() { return state.storeBytes; }

// --- batches ------------------------------------------------------------------------------------

namespace {
// Where batch `batch`'s vertices go this time: its blocks' arrays and the vertices every one of
// them holds (the pipeline's limit and the GL buffer's size included). Capacity 0 when a block is
// missing.
struct BatchBlocks {
  float* arrays[MAX_PIPELINE_ATTRIBUTES];
  uint32_t ids[MAX_PIPELINE_ATTRIBUTES];
  uint32_t capacity;
};

BatchBlocks batchBlocks(uint32_t batch) {
  const Pipeline& p = pipelines[BATCH_PIPELINES[batch]];
  BatchBlocks out = {};
  uint64_t capacity = p.vertexLimit;
  for (uint32_t a = 0; a < BATCH_ATTRIBUTES[batch]; ++a) {
    const bridge::VertexBuffer& vb = p.vertexBuffers[a];
    const uint8_t* data;
    uint64_t bytes;
    if (!blockOf(vb.bufferId, &data, &bytes)) return BatchBlocks{};
    if (bytes > vb.byteSize) bytes = vb.byteSize;
    const uint64_t fits = bytes / (4ull * BATCH_FLOATS[batch][a]);
    if (fits < capacity) capacity = fits;
    out.arrays[a] = reinterpret_cast<float*>(const_cast<uint8_t*>(data));
    out.ids[a] = static_cast<uint32_t>(vb.bufferId);
  }
  // Fill lengths are 32-bit counts of floats: the end of a batch must stay countable in them.
  const uint64_t countable = 0xFFFFFFFFull / 4;
  out.capacity = static_cast<uint32_t>(capacity < countable ? capacity : countable);
  return out;
}

// The vertex count appends to batch `batch` start from: the end drawMeshes reached, while the
// lengths are still the ones it left; otherwise the host's count (its first attribute's length),
// which is then remembered as the host's.
uint32_t appendStart(uint32_t batch, const BatchBlocks& blocks) {
  BatchAppend& a = state.appends[batch];
  const uint32_t attributes = BATCH_ATTRIBUTES[batch];
  if (a.pending) {
    bool unchanged = true;
    for (uint32_t k = 0; k < attributes; ++k) {
      unchanged = unchanged && a.blockIds[k] == blocks.ids[k] &&
                  bridge::lenBuffer(blocks.ids[k]) == a.end * BATCH_FLOATS[batch][k];
    }
    if (unchanged) return a.end;
  }
  a.pending = true;
  a.raised = true;
  for (uint32_t k = 0; k < attributes; ++k) {
    a.blockIds[k] = blocks.ids[k];
    a.hostLengths[k] = bridge::lenBuffer(blocks.ids[k]);
  }
  const uint32_t hostCount = a.hostLengths[0] / BATCH_FLOATS[batch][0];
  a.end = hostCount < blocks.capacity ? hostCount : blocks.capacity;
  return a.end;
}

// Sets every attribute's length to `end` vertices.
void raiseLengths(uint32_t batch, const BatchBlocks& blocks, uint32_t end) {
  state.appends[batch].end = end;
  for (uint32_t k = 0; k < BATCH_ATTRIBUTES[batch]; ++k) bridge::setLenBuffer(blocks.ids[k], end * BATCH_FLOATS[batch][k]);
}
}  // namespace

// --- drawMeshes ---------------------------------------------------------------------------------

int32_t drawMeshes(double blockId, double first, double count, double paletteId) {
  if (!pipelinesBuilt()) return contract::MESH_NOT_READY;
  const uint8_t* records;
  uint64_t recordBytes;
  if (!blockOf(idOf(blockId), &records, &recordBytes)) return contract::MESH_NO_BLOCK;
  if (!(first >= 0) || !(count >= 0)) return contract::MESH_BAD_RANGE;
  const uint64_t held = recordBytes / (INSTANCE_RECORD_WORDS * 4);
  if (first >= static_cast<double>(held)) return 0;
  const uint64_t from = static_cast<uint64_t>(first);
  const uint64_t left = held - from;
  const uint64_t n = count < static_cast<double>(left) ? static_cast<uint64_t>(count) : left;

  const uint8_t* paletteData = nullptr;
  uint64_t paletteBytes = 0;
  if (!blockOf(idOf(paletteId), &paletteData, &paletteBytes)) paletteData = nullptr;
  const float* palette = reinterpret_cast<const float*>(paletteData);
  const size_t paletteMatrices = palette ? paletteBytes / 64 : 0;

  BatchBlocks blocks[MESH_BATCH_COUNT];
  bool found[MESH_BATCH_COUNT] = {};
  uint64_t written = 0;
  for (uint64_t r = 0; r < n; ++r) {
    InstanceRecord record;
    readInstanceRecord(records + (from + r) * INSTANCE_RECORD_WORDS * 4, palette, paletteMatrices, &record);
    if (record.mesh >= MESH_COUNT || !state.meshes[record.mesh].data || record.batch >= MESH_BATCH_COUNT) continue;
    const uint32_t batch = record.batch;
    if (!found[batch]) {
      blocks[batch] = batchBlocks(batch);
      found[batch] = true;
    }
    const BatchBlocks& b = blocks[batch];
    if (b.capacity == 0) continue;
    const uint32_t start = appendStart(batch, b);
    const StoredMesh& m = state.meshes[record.mesh];
    uint32_t added;
    if (batch == INSTANCE_SOLID) {
      const SolidTarget target = {b.arrays[0], b.arrays[1], b.arrays[2], b.arrays[3], b.arrays[4], b.capacity};
      added = writeSolidInstance(m.view, m.look, record.instance, target, start);
    } else {
      const ForwardTarget target = {b.arrays[0], b.arrays[1], b.arrays[2], b.capacity};
      added = writeForwardInstance(m.view, m.look, record.instance, target, start);
    }
    if (added) raiseLengths(batch, b, start + added);
    written += added;
  }
  return written < 0x7FFFFFFF ? static_cast<int32_t>(written) : 0x7FFFFFFF;
}

// --- frames and ticks --------------------------------------------------------------------------

namespace {
// Whether every attribute length of `a` equals `lengths` (the host's), or `end` vertices (ours).
bool lengthsAre(uint32_t batch, const BatchAppend& a, bool ours) {
  for (uint32_t k = 0; k < BATCH_ATTRIBUTES[batch]; ++k) {
    if (!bridge::blockData(a.blockIds[k])) return false;
    const uint32_t want = ours ? a.end * BATCH_FLOATS[batch][k] : a.hostLengths[k];
    if (bridge::lenBuffer(a.blockIds[k]) != want) return false;
  }
  return true;
}

void setLengths(uint32_t batch, BatchAppend& a, bool ours) {
  for (uint32_t k = 0; k < BATCH_ATTRIBUTES[batch]; ++k) {
    bridge::setLenBuffer(a.blockIds[k], ours ? a.end * BATCH_FLOATS[batch][k] : a.hostLengths[k]);
  }
  a.raised = ours;
}
}  // namespace

// Lengths still raised are left as they are: the host may have written exactly those lengths of its
// own since, which cannot be told apart from ours.
void beginMeshTick() {
  for (BatchAppend& a : state.appends) a.pending = false;
}

void beginMeshFrame() {
  for (uint32_t batch = 0; batch < MESH_BATCH_COUNT; ++batch) {
    BatchAppend& a = state.appends[batch];
    if (a.pending && !a.raised && lengthsAre(batch, a, false)) setLengths(batch, a, true);
  }
}

void endMeshFrame() {
  for (uint32_t batch = 0; batch < MESH_BATCH_COUNT; ++batch) {
    BatchAppend& a = state.appends[batch];
    if (!a.pending || !a.raised) continue;
    if (lengthsAre(batch, a, true)) setLengths(batch, a, false);
    else a.pending = false;  // the host wrote lengths of its own: they stand, and nothing is raised again
  }
}
}  // namespace tsm::gfx
