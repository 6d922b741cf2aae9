// Text layout and atlas growth over the real faces, glyph cache and atlas texture (text's atlas
// handed to graphics' glyph texture through the seam, as the renderer does), in a GL context of its
// own (run under a private X server with software GL, as bench/run.js does; from the repository
// root, where the fonts are):
//  - layout of a 2,000-character paragraph (mono, 48 px, no maximum width) against a plain loop that
//    writes the same 54 floats per glyph and a memcpy of the same bytes;
//  - one new glyph brought into the atlas (place, write, upload) with 200, 1,000 and 3,000 glyphs
//    already there, against the same with the glyph nearly alone in the atlas;
//  - a full re-layout (the glyph store's repack) and upload of a 4096 x 2048 atlas against a memcpy
//    of it.
// Prints `@bench` lines (bench/rounds.h). `--quick` runs fewer rounds.
#include <GL/glew.h>
#include <SDL2/SDL.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/rounds.h"
#include "gfx/glyphtexture.h"
#include "gfx/window.h"
#include "text/glyphs.h"
#include "text/text.h"

using namespace tsm::text;

namespace {
// Characters in the layout paragraph.
constexpr size_t PARAGRAPH_CHARS = 2000;
// Floats one glyph's two triangles take over the three arrays.
constexpr size_t FLOATS_PER_GLYPH = 18 + 12 + 24;
// Layouts per timed round.
constexpr int LAYOUT_REPEAT = 20;
// Colour of the laid-out glyphs, also written by the plain loop.
constexpr float TEXT_COLOR[4] = {0.0f, 0.0f, 0.0f, 1.0f};

bool contextReady = false;

std::string asciiParagraph() {
  static const char* words[] = {"the", "quick", "brown", "fox", "jumps", "over", "a", "lazy", "dog;", "Pack",
                                "my", "box", "with", "five", "dozen", "liquor", "jugs.", "How", "vexingly", "daft",
                                "zebras", "JUMP!", "Sphinx", "of", "black", "quartz,", "judge", "vow", "(42)", "#7"};
  std::string s;
  for (size_t i = 0; s.size() < PARAGRAPH_CHARS; ++i) {
    if (!s.empty()) s += ' ';
    s += words[(i * 7) % (sizeof words / sizeof words[0])];
  }
  s.resize(PARAGRAPH_CHARS);
  return s;
}

void openContext() {
  SDL_Init(SDL_INIT_VIDEO);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_Window* w = SDL_CreateWindow("text bench", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!w || !SDL_GL_CreateContext(w)) {
    std::fprintf(stderr, "no GL context: %s\n", SDL_GetError());
    std::exit(1);
  }
  glewExperimental = GL_TRUE;
  if (glewInit() != GLEW_OK) {
    std::fprintf(stderr, "GLEW failed\n");
    std::exit(1);
  }
  contextReady = true;
}

// Loads the glyph of the next code point (from `*next` on) that brings a new glyph into the store,
// asked for in the fallback font id.
void addGlyph(uint32_t* next) {
  for (;;) {
    const uint32_t before = glyphSet.glyphCount;
    getGlyph(FONT_FALLBACK << 21 | (*next)++);
    if (glyphSet.glyphCount > before) return;
  }
}

// The plain batch's arrays (GLYPH_BATCH_VERTICES vertices each), which the comparators write too.
void layoutRows(int rounds, float* positions, float* texcoords, float* colors) {
  const std::string text = asciiParagraph();
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const size_t n = PARAGRAPH_CHARS;
  std::vector<float> src(n * FLOATS_PER_GLYPH, 0.25f);
  setTextColor(TEXT_COLOR);
  layoutText(bytes, text.size(), 10, 100, 48, FONT_MONO, 0);  // loads every glyph once
  tsm::gfx::uploadGlyphTexture();
  auto t = bench::timeRounds(rounds, {
    [&] {
      for (int k = 0; k < LAYOUT_REPEAT; ++k) {
        resetGlyphBatches();
        layoutText(bytes, text.size(), 10.0f, 100.0f, 48.0f, FONT_MONO, 0);
      }
    },
    [&] {
      // The plain write loop: the same 54 floats per glyph from a pen that moves.
      for (int k = 0; k < LAYOUT_REPEAT; ++k) {
        float x = 10.0f;
        const float y0 = 64.0f, y1 = 100.0f, r = TEXT_COLOR[0], g = TEXT_COLOR[1], b = TEXT_COLOR[2],
                    a = TEXT_COLOR[3];
        for (size_t i = 0; i < n; ++i) {
          const float x1 = x + 24.0f;
          float* p = positions + 18 * i;
          p[0] = x, p[1] = y0, p[2] = 0, p[3] = x, p[4] = y1, p[5] = 0, p[6] = x1, p[7] = y0, p[8] = 0;
          p[9] = x, p[10] = y1, p[11] = 0, p[12] = x1, p[13] = y0, p[14] = 0, p[15] = x1, p[16] = y1, p[17] = 0;
          float* uv = texcoords + 12 * i;
          uv[0] = x, uv[1] = y0, uv[2] = x, uv[3] = y1, uv[4] = x1, uv[5] = y0;
          uv[6] = x, uv[7] = y1, uv[8] = x1, uv[9] = y0, uv[10] = x1, uv[11] = y1;
          float* c = colors + 24 * i;
          for (int v = 0; v < 6; ++v, c += 4) c[0] = r, c[1] = g, c[2] = b, c[3] = a;
          x += 28.8f;
        }
        asm volatile("" ::: "memory");
      }
    },
    [&] {
      for (int k = 0; k < LAYOUT_REPEAT; ++k) {
        std::memcpy(positions, src.data(), n * 18 * sizeof(float));
        std::memcpy(texcoords, src.data() + n * 18, n * 12 * sizeof(float));
        std::memcpy(colors, src.data() + n * 30, n * 24 * sizeof(float));
        asm volatile("" ::: "memory");
      }
    },
  });
  if (glyphTriangles(GLYPH_BATCH_PLAIN) != 2 * n) std::fprintf(stderr, "layout: wrong triangle count\n");
  const double perGlyph = 1.0 / (LAYOUT_REPEAT * n);
  bench::emit("layout, 2000 chars mono 48 px, per glyph", t[0], perGlyph, "ns", &t[1], "speed / 54-float loop");
  bench::emit("plain 54-float write loop, per glyph", t[1], perGlyph, "ns", &t[2], "speed / memcpy");
  bench::emit("memcpy of the same 216 bytes, per glyph", t[2], perGlyph, "ns");
}

// Times `rounds` growths of the atlas by one glyph; answers nanoseconds per growth.
std::vector<double> growthRounds(int rounds, uint32_t* next) {
  std::vector<double> v;
  for (int r = 0; r <= rounds; ++r) {
    addGlyph(next);
    const auto t0 = bench::Clock::now();
    tsm::gfx::uploadGlyphTexture();
    glFinish();
    const double ns = std::chrono::duration<double, std::nano>(bench::Clock::now() - t0).count();
    if (r > 0) v.push_back(ns);  // the first may respecify the texture
  }
  return v;
}

void atlasRows(int rounds) {
  uint32_t next = 0x4E00;
  // Alone: the store holds only the glyphs these rounds add.
  tsm::gfx::uploadGlyphTexture();
  const std::vector<double> alone = growthRounds(rounds, &next);
  bench::emit("atlas +1 glyph alone (" + std::to_string(glyphSet.glyphCount) + " glyphs)", alone, 1e-3, "us");
  for (uint32_t size : {200u, 1000u, 3000u}) {
    while (glyphSet.glyphCount < size) addGlyph(&next);
    tsm::gfx::uploadGlyphTexture();
    const std::vector<double> grown = growthRounds(rounds, &next);
    bench::emit("atlas +1 glyph with " + std::to_string(size) + " glyphs", grown, 1e-3, "us", &alone,
                "cost / alone", true);
  }

  // A tall atlas: large sans and mono glyphs until it is 2048 rows high.
  for (uint32_t cp = 0x21; glyphSet.toHeight < 2048 && cp < 0x3000; ++cp) {
    getGlyph(FONT_SANS << 21 | cp);
    getGlyph(FONT_MONO << 21 | cp);
    if (glyphSet.glyphCount % 64 == 0) tsm::gfx::uploadGlyphTexture();
  }
  tsm::gfx::uploadGlyphTexture();
  const size_t bytes = static_cast<size_t>(glyphSet.width) * glyphSet.toHeight;
  std::vector<uint8_t> copy(bytes);
  auto t = bench::timeRounds(rounds, {
    [&] {
      repackAtlas(&glyphSet);
      tsm::gfx::sendGlyphTexture(lastAtlasWrite());
      glFinish();
    },
    [&] {
      std::memcpy(copy.data(), glyphSet.atlas, bytes);
      asm volatile("" ::: "memory");
    },
  });
  const std::string shape = std::to_string(glyphSet.width) + "x" + std::to_string(glyphSet.toHeight);
  bench::emit("atlas full re-layout + upload " + shape + " (" + std::to_string(glyphSet.glyphCount) + " glyphs)",
              t[0], 1e-3, "us", &t[1], "cost / memcpy", true);
  bench::emit("memcpy of the " + shape + " atlas", t[1], 1e-3, "us");
}
}  // namespace

namespace tsm::gfx {
// The atlas uploads only when there is a context; here there is one from the start.
bool glReady() { return contextReady; }
}  // namespace tsm::gfx

int main(int argc, char** argv) {
  int rounds = 21;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--quick") == 0) rounds = 7;
  openContext();
  openFonts();
  std::vector<float> positions(GLYPH_BATCH_VERTICES * 3), texcoords(GLYPH_BATCH_VERTICES * 2),
      colors(GLYPH_BATCH_VERTICES * 4);
  tsm::gfx::initGlyphTexture();
  // Start from an empty store (the texture stays): glyphs, ASCII included, load as text asks.
  freeGlyphStore(&glyphSet);
  std::memset(directSlots, 0, sizeof directSlots);
  initGlyphStore(&glyphSet);
  for (int b : {GLYPH_BATCH_PLAIN, GLYPH_BATCH_OUTLINE})
    attachGlyphBatch(b, positions.data(), texcoords.data(), colors.data());
  atlasRows(rounds);
  layoutRows(rounds, positions.data(), texcoords.data(), colors.data());
  closeFonts();
  return 0;
}
