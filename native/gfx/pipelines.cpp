// Pipeline builders. Owns the pipeline records and the uniform sets; does not own the framebuffers
// (gfx/targets.cpp) or draw (gfx/frame.cpp). Every pipeline goes through the same common steps so
// that the order of GL objects, programs and shared-buffer ids is fixed: vertex array, program,
// (framebuffer), uniform set, vertex buffers in attribute order, then what the kind adds.
// Caller: initGFX, once, from `ready`.
//
// Sections: state | common steps | builders | buildPipelines
#include "gfx/pipelines.h"

#include <GL/glew.h>

#include "bridge/buffers.h"
#include "contract.h"
#include "gfx/bufferids.h"
#include "gfx/core/namehash.h"
#include "gfx/shaders.h"
#include "gfx/targets.h"
#include "gfx/uniforms.h"
#include "text/text.h"

namespace tsm::gfx {
namespace {
// --- state --------------------------------------------------------------------------------------
// The full-screen quad: positions and texture coordinates, four 2-float vertices each. Registered
// as shared blocks (twice per screen pipeline), so they stay writable memory like any block.
float quadPositions[SCREEN_QUAD_VERTICES * 2] = {-1.0f, 1.0f, -1.0f, -1.0f, 1.0f, -1.0f, 1.0f, 1.0f};
float quadTexcoords[SCREEN_QUAD_VERTICES * 2] = {0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 1.0f};

bool built = false;

// One vertex source of a pipeline: the attribute, floats per vertex, the bufferIDs entry naming its
// block (NEW_BLOCK: a native block of capacity x floats x 4 bytes), usage, whether it advances per
// instance, and whether its block's length alone decides its capacity (the point-light mesh).
constexpr int32_t NEW_BLOCK = -1;
// First bufferIDs entries of the pipelines whose attributes take consecutive entries.
constexpr int32_t SOLID = contract::ENTRY_SOLID, UI_TRIS = contract::ENTRY_UI_TRIS,
                  POINT_LIGHTS = contract::ENTRY_POINT_LIGHTS;
struct VertexSource {
  uint32_t attribute;
  uint32_t components;
  int32_t tableEntry;
  uint32_t usage;
  bool perInstance = false;
  bool blockSized = false;
};

// --- common steps -------------------------------------------------------------------------------

// Steps 1-3: vertex array, program, both bound.
void beginPipeline(Pipeline& p, PipelineIndex index, const char* label, uint64_t capacity, uint32_t vertexNameHash,
                   uint32_t fragmentNameHash) {
  p.label = label;
  glGenVertexArrays(1, &p.vertexArray);
  p.capacity = capacity;
  p.program = getProgram(vertexNameHash, fragmentNameHash)->program;
  p.uniforms = &allUniformSets[index];
  glBindVertexArray(p.vertexArray);
  glUseProgram(p.program);
}

// Recomputes the draw limits from the fed attributes.
void updateLimits(Pipeline& p) {
  p.vertexLimit = UINT64_MAX;
  p.instanceLimit = UINT64_MAX;
  for (uint32_t a = 0; a < MAX_PIPELINE_ATTRIBUTES; ++a) {
    if (!(p.attributeMask & (1u << a))) continue;
    uint64_t& limit = (p.instanceMask & (1u << a)) ? p.instanceLimit : p.vertexLimit;
    if (p.vertexBuffers[a].capacity < limit) limit = p.vertexBuffers[a].capacity;
  }
  if (p.vertexLimit == UINT64_MAX) p.vertexLimit = 0;
  if (p.instanceLimit == UINT64_MAX) p.instanceLimit = 0;
}

void addVertexBuffer(Pipeline& p, uint64_t capacity, uint32_t components, uint32_t attribute, uint32_t usage,
                     int32_t bufferId, bool perInstance) {
  bridge::initVertexBuffer(&p.vertexBuffers[attribute], capacity, components, attribute, usage, bufferId);
  if (perInstance) {
    glVertexAttribDivisor(attribute, 1);
    p.instanceMask |= 1u << attribute;
  }
  p.attributeMask |= 1u << attribute;
  updateLimits(p);
}

// Steps 5-6 for pipelines fed from the bufferIDs table or new native blocks.
template <size_t N>
void bindAndFeed(Pipeline& p, const VertexSource (&sources)[N]) {
  bindUniforms(*p.uniforms, p.program);
  for (const VertexSource& s : sources) {
    const int32_t id = s.tableEntry == NEW_BLOCK ? 0 : static_cast<int32_t>(bufferId(static_cast<uint32_t>(s.tableEntry)));
    addVertexBuffer(p, s.blockSized ? 0 : p.capacity, s.components, s.attribute, s.usage, id, s.perInstance);
  }
}

// --- builders -----------------------------------------------------------------------------------

void initSolid(Pipeline& p, uint32_t vertexNameHash, uint32_t fragmentNameHash) {
  beginPipeline(p, SOLID_PIPELINE, "solid", GEOMETRY_CAPACITY, vertexNameHash, fragmentNameHash);
  glGenFramebuffers(1, &targets.gBuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, targets.gBuffer);
  static constexpr VertexSource sources[] = {
      {0, 3, SOLID + 0, GL_DYNAMIC_DRAW, false}, {1, 3, SOLID + 1, GL_DYNAMIC_DRAW, false},
      {2, 3, SOLID + 2, GL_DYNAMIC_DRAW, false}, {3, 3, SOLID + 3, GL_DYNAMIC_DRAW, false},
      {4, 3, SOLID + 4, GL_DYNAMIC_DRAW, false},
  };
  bindAndFeed(p, sources);
  makeGBufferTextures();
  requireComplete(SOLID_FRAMEBUFFER);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

// Attribute `attribute` of the shadow pipeline reads the solid pipeline's GL buffer for it.
void shareVertexBuffer(Pipeline& p, const bridge::VertexBuffer& solid, uint32_t attribute) {
  bridge::VertexBuffer& vb = p.vertexBuffers[attribute];
  vb = solid;
  glBindBuffer(GL_ARRAY_BUFFER, vb.glBuffer);
  glVertexAttribPointer(attribute, static_cast<GLint>(vb.components), GL_FLOAT, GL_TRUE, 0, nullptr);
  glEnableVertexAttribArray(attribute);
  vb.attribIndex = attribute;
  p.attributeMask |= 1u << attribute;
  updateLimits(p);
}

void initShadow(Pipeline& p, uint32_t vertexNameHash, uint32_t fragmentNameHash, const bridge::VertexBuffer& solid0,
                const bridge::VertexBuffer& solid1) {
  beginPipeline(p, SHADOW_PIPELINE, "shadow", GEOMETRY_CAPACITY, vertexNameHash, fragmentNameHash);
  glGenFramebuffers(1, &targets.shadowTarget);
  glBindFramebuffer(GL_FRAMEBUFFER, targets.shadowTarget);
  bindUniforms(*p.uniforms, p.program);
  targets.shadowSize[0] = SHADOW_MAP_SIZE;
  targets.shadowSize[1] = SHADOW_MAP_SIZE;
  shareVertexBuffer(p, solid0, 0);
  shareVertexBuffer(p, solid1, 1);
  makeShadowMap();
  requireComplete(SHADOW_FRAMEBUFFER);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void initScreen(Pipeline& p, PipelineIndex index, const char* label, uint32_t vertexNameHash, uint32_t fragmentNameHash) {
  beginPipeline(p, index, label, 0, vertexNameHash, fragmentNameHash);
  bindUniforms(*p.uniforms, p.program);
  const uint32_t positionsId = bridge::registerBlock(reinterpret_cast<uint8_t*>(quadPositions), sizeof quadPositions);
  addVertexBuffer(p, SCREEN_QUAD_VERTICES, 2, 0, GL_STATIC_DRAW, static_cast<int32_t>(positionsId), false);
  const uint32_t texcoordsId = bridge::registerBlock(reinterpret_cast<uint8_t*>(quadTexcoords), sizeof quadTexcoords);
  addVertexBuffer(p, SCREEN_QUAD_VERTICES, 2, 1, GL_STATIC_DRAW, static_cast<int32_t>(texcoordsId), false);
  requireComplete(SCREEN_FRAMEBUFFER);
}

void initGlyphPipeline(Pipeline& p, PipelineIndex index, const char* label, uint32_t vertexNameHash,
                       uint32_t fragmentNameHash) {
  beginPipeline(p, index, label, GLYPH_CAPACITY, vertexNameHash, fragmentNameHash);
  static constexpr VertexSource sources[] = {
      {0, 3, NEW_BLOCK, GL_DYNAMIC_DRAW, false},
      {1, 2, NEW_BLOCK, GL_DYNAMIC_DRAW, false},
      {2, 4, NEW_BLOCK, GL_DYNAMIC_DRAW, false},
  };
  bindAndFeed(p, sources);
}

void initGeometry(Pipeline& p, PipelineIndex index, const char* label, uint32_t vertexNameHash,
                  uint32_t fragmentNameHash, uint32_t firstEntry) {
  beginPipeline(p, index, label, GEOMETRY_CAPACITY, vertexNameHash, fragmentNameHash);
  const int32_t e = static_cast<int32_t>(firstEntry);
  const VertexSource sources[] = {
      {0, 3, e, GL_DYNAMIC_DRAW, false},
      {1, 3, e + 1, GL_DYNAMIC_DRAW, false},
      {2, 4, e + 2, GL_DYNAMIC_DRAW, false},
  };
  bindAndFeed(p, sources);
}

// Points text's glyph batch `batch` at the glyph pipeline's three vertex blocks.
void feedGlyphBatch(int batch, const Pipeline& p) {
  text::attachGlyphBatch(batch, reinterpret_cast<float*>(p.vertexBuffers[0].data),
                         reinterpret_cast<float*>(p.vertexBuffers[1].data),
                         reinterpret_cast<float*>(p.vertexBuffers[2].data));
}
}  // namespace

Pipeline pipelines[PIPELINE_COUNT] = {};
UniformSet allUniformSets[PIPELINE_COUNT] = {};

bool pipelinesBuilt() { return built; }

// --- buildPipelines -----------------------------------------------------------------------------

void buildPipelines() {
  Pipeline& solid = pipelines[SOLID_PIPELINE];
  initSolid(solid, nameHash("solid"), nameHash("solid"));
  initShadow(pipelines[SHADOW_PIPELINE], nameHash("shadow"), nameHash("shadow"), solid.vertexBuffers[0],
             solid.vertexBuffers[1]);

  static constexpr VertexSource uitriSources[] = {
      {0, 3, UI_TRIS + 0, GL_DYNAMIC_DRAW, false},
      {1, 4, UI_TRIS + 1, GL_DYNAMIC_DRAW, false},
  };
  Pipeline& uitris = pipelines[UITRIS_PIPELINE];
  beginPipeline(uitris, UITRIS_PIPELINE, "uitris", GEOMETRY_CAPACITY, nameHash("uitri"), nameHash("uitri"));
  bindAndFeed(uitris, uitriSources);

  initGlyphPipeline(pipelines[UIGLYPHS_PIPELINE], UIGLYPHS_PIPELINE, "uiglyphs", nameHash("uisprite"), nameHash("uiglyph"));
  initGlyphPipeline(pipelines[UIGLYPHS_OUTLINE_PIPELINE], UIGLYPHS_OUTLINE_PIPELINE, "uiglyphsoutline",
                    nameHash("uisprite"), nameHash("uiglyphoutline"));
  feedGlyphBatch(text::GLYPH_BATCH_PLAIN, pipelines[UIGLYPHS_PIPELINE]);
  feedGlyphBatch(text::GLYPH_BATCH_OUTLINE, pipelines[UIGLYPHS_OUTLINE_PIPELINE]);

  glBindFramebuffer(GL_FRAMEBUFFER, targets.sceneTarget);
  initGeometry(pipelines[TRANSPARENCY_PIPELINE], TRANSPARENCY_PIPELINE, "transparency", nameHash("transparent"),
               nameHash("transparent"), contract::ENTRY_TRANSPARENT);
  initGeometry(pipelines[UNCULLED_PIPELINE], UNCULLED_PIPELINE, "unculled", nameHash("transparent"),
               nameHash("transparent"), contract::ENTRY_UNCULLED);

  // The mesh (static, its capacity from its block's length) and three per-instance attributes;
  // attribute 1 stays disabled.
  static constexpr VertexSource pointlightSources[] = {
      {0, 3, contract::ENTRY_POINT_MESH, GL_STATIC_DRAW, false, true},
      {2, 4, POINT_LIGHTS + 0, GL_DYNAMIC_DRAW, true},
      {3, 4, POINT_LIGHTS + 1, GL_DYNAMIC_DRAW, true},
      {4, 4, POINT_LIGHTS + 2, GL_DYNAMIC_DRAW, true},
  };
  Pipeline& pointlights = pipelines[POINTLIGHTS_PIPELINE];
  beginPipeline(pointlights, POINTLIGHTS_PIPELINE, "pointlights", GEOMETRY_CAPACITY, nameHash("pointlight"),
                nameHash("pointlight"));
  bindAndFeed(pointlights, pointlightSources);

  initScreen(pipelines[GBUFF_PIPELINE], GBUFF_PIPELINE, "gbuff", nameHash("gbuff"), nameHash("gbuff"));
  glBindFramebuffer(GL_FRAMEBUFFER, targets.ghdrTarget);
  initScreen(pipelines[GHDR_PIPELINE], GHDR_PIPELINE, "ghdr", nameHash("ghdr"), nameHash("ghdr"));
  glBindFramebuffer(GL_FRAMEBUFFER, targets.gpostTarget);
  initScreen(pipelines[GPOST_PIPELINE], GPOST_PIPELINE, "gpost", nameHash("gpost"), nameHash("gpost"));
  built = true;
}
}  // namespace tsm::gfx
