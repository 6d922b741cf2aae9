// Retained meshes: the store of mesh copies the host handed over (createMesh, releaseMesh), and the
// drawMeshes command, which places instances of them into the solid, transparent and unculled
// batches after the vertices the host wrote there this frame. The placing itself is the pure kernels
// of gfx/core/meshkernels; this file owns the store, finds the batches' blocks through the built
// pipelines and keeps the batches' fill lengths.
// Does not: draw, upload or touch GL (the frame renderer uploads the batches as it always does).
// Callers: the host functions (createMesh, releaseMesh), `tick` (beginMeshTick, then drawMeshes
// from the command stream), and `render` around each frame (beginMeshFrame, endMeshFrame).
//
// Fill lengths: a batch's lengths are the host's (the kit's VertexBatch writes count x floats for
// each attribute block). drawMeshes appends after the vertex count the batch's first attribute
// holds and raises every attribute's length to the new end. Once a frame is drawn the host's
// lengths come back (endMeshFrame), so its own count is never disturbed; a frame drawn again
// before the next tick raises them again (beginMeshFrame) while they are still the host's; the next
// tick forgets the appends (beginMeshTick). Whenever the host has written lengths of its own in
// between, they stand. So the addon's vertices last until the next tick; without a frame drawn
// between two ticks, the second tick's appends follow the first's.
#pragma once
#include <cstddef>
#include <cstdint>

#include "contract.h"

namespace tsm::gfx {
// Mesh ids 0..MESH_COUNT-1.
constexpr uint32_t MESH_COUNT = contract::MESH_COUNT;
// Vertices of one mesh.
constexpr uint32_t MAX_MESH_VERTICES = contract::MAX_MESH_VERTICES;
// Bytes of every mesh copy together: bounds what a host can make the addon hold.
constexpr uint64_t MAX_MESH_STORE_BYTES = contract::MAX_MESH_STORE_BYTES;

// Copies the mesh block held in shared block `blockId` into the store: its id, or MESH_NO_BLOCK
// (no such block, or misaligned), MESH_BAD_BLOCK (readMeshBlock refuses it, or its vertex count is
// 0, not whole triangles or over MAX_MESH_VERTICES), MESH_STORE_FULL.
int32_t createMesh(int64_t blockId);

// Frees mesh `id`, whose id may then be handed out again: 0, or MESH_UNKNOWN.
int32_t releaseMesh(int64_t id);

// The drawMeshes command: instance records [first, first + count) of block `blockId` (clipped to
// the block's whole records), palette matrices from block `paletteId` (an id naming no block: none;
// skinned meshes keep their bind pose). Records naming no live mesh or an unknown batch are
// skipped; a batch that fills up takes whole triangles only, never past its blocks. Returns the
// vertices written, or MESH_NO_BLOCK, MESH_NOT_READY, MESH_BAD_RANGE. Allocates nothing.
int32_t drawMeshes(double blockId, double first, double count, double paletteId);

// Before the commands of a tick: the last tick's appends are forgotten (lengths are left as they
// are).
void beginMeshTick();
// Before a frame is drawn: batches appended to since the tick, whose lengths are the host's again,
// are raised again.
void beginMeshFrame();
// After a frame is drawn: every batch appended to gets back the host's lengths, where they are
// still the ones drawMeshes left.
void endMeshFrame();

// Live meshes and the bytes their copies hold (for tests and the fuzz host's invariants).
uint32_t liveMeshes();
uint64_t meshStoreBytes();
}  // namespace tsm::gfx
