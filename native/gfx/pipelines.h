// The eleven pipelines: one draw configuration each (vertex array, program, vertex buffers fed from
// shared blocks, uniform set), built once by initGFX and used by the frame renderer, resize and the
// quality setters. Targets they draw into are in gfx/targets.h.
#pragma once
#include <cstdint>

#include "bridge/vertexbuffer.h"
#include "gfx/core/uniformset.h"

namespace tsm::gfx {
// Pipelines, in the order of allUniformSets (the order resize, render and the setters walk them).
enum PipelineIndex : uint32_t {
  SOLID_PIPELINE = 0,
  SHADOW_PIPELINE,
  GBUFF_PIPELINE,
  GHDR_PIPELINE,
  GPOST_PIPELINE,
  TRANSPARENCY_PIPELINE,
  UNCULLED_PIPELINE,
  POINTLIGHTS_PIPELINE,
  UITRIS_PIPELINE,
  UIGLYPHS_PIPELINE,
  UIGLYPHS_OUTLINE_PIPELINE,
};
// Pipelines of the renderer (ten programs: transparency and unculled share one).
constexpr uint32_t PIPELINE_COUNT = 11;
// Vertex attributes a pipeline can feed (solid uses 0-4).
constexpr uint32_t MAX_PIPELINE_ATTRIBUTES = 5;
// Vertex capacity of the geometry pipelines' buffers.
constexpr uint64_t GEOMETRY_CAPACITY = 100000;
// Vertex capacity of each glyph pipeline's buffers.
constexpr uint64_t GLYPH_CAPACITY = 300000;
// Vertices of the full-screen quad, drawn as a triangle fan.
constexpr uint32_t SCREEN_QUAD_VERTICES = 4;

struct Pipeline {
  const char* label;
  uint64_t capacity;     // vertex capacity handed to its vertex buffers
  uint32_t vertexArray;
  uint32_t program;
  // Indexed by attribute; an attribute the pipeline does not feed stays zeroed (attributeMask).
  bridge::VertexBuffer vertexBuffers[MAX_PIPELINE_ATTRIBUTES];
  uint32_t attributeMask;  // bit n: attribute n is fed
  uint32_t instanceMask;   // bit n: attribute n advances once per instance
  UniformSet* uniforms;    // its entry of allUniformSets
  uint64_t vertexLimit;    // vertices every per-vertex buffer holds: draws never read past it
  uint64_t instanceLimit;  // instances every per-instance buffer holds
};

extern Pipeline pipelines[PIPELINE_COUNT];
// The pipelines' uniform sets, in PipelineIndex order.
extern UniformSet allUniformSets[PIPELINE_COUNT];

// Builds the pipelines in initGFX's order (solid, shadow, uitris, the two glyph pipelines, then on
// sceneTarget transparency, unculled, pointlights, gbuff; ghdr on ghdrTarget; gpost on gpostTarget),
// and hands text's glyph batches the glyph pipelines' vertex blocks (text::attachGlyphBatch).
void buildPipelines();
// Whether buildPipelines has run to its end.
bool pipelinesBuilt();
}  // namespace tsm::gfx
