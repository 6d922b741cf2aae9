// Text layout speed over the real faces and glyph cache: one 2,000-character ASCII paragraph laid
// out (measured, then placed into a glyph batch) in the mono font at 48 px, the same through the
// sans font, measurement alone, and a paragraph of code points past the direct table, which goes
// through the code map on every lookup. items_per_second is glyphs per second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "text/glyphs.h"
#include "text/text.h"

using namespace tsm::text;

namespace {
// Characters in the benchmark paragraph.
constexpr size_t PARAGRAPH_CHARS = 2000;

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

// 2,000 CJK ideographs from 48 distinct ones (fallback face, past the direct table).
std::string cjkParagraph() {
  std::string s;
  for (size_t i = 0; i < PARAGRAPH_CHARS; ++i) {
    const uint32_t cp = 0x4E00 + (i * 5) % 48;
    s += static_cast<char>(0xE0 | cp >> 12);
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return s;
}

struct Setup {
  std::vector<float> positions, texcoords, colors;
  Setup() : positions(GLYPH_BATCH_VERTICES * 3), texcoords(GLYPH_BATCH_VERTICES * 2), colors(GLYPH_BATCH_VERTICES * 4) {
    openFonts();
    createGlyphSet();
    for (GlyphBatch& b : glyphBatches) b = GlyphBatch{positions.data(), texcoords.data(), colors.data(), 0};
  }
};

Setup& setup() {
  static Setup s;
  return s;
}

void layoutRun(benchmark::State& state, const std::string& text, uint16_t font, size_t glyphs) {
  setup();
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  layoutText(bytes, text.size(), 10, 100, 48, font, 0);  // loads every glyph once
  for (auto _ : state) {
    resetGlyphBatches();
    layoutText(bytes, text.size(), 10.0f, 100.0f, 48.0f, font, 0);
    benchmark::DoNotOptimize(glyphBatches[0].triangleCount);
    benchmark::ClobberMemory();
  }
  if (glyphBatches[0].triangleCount != 2 * glyphs) state.SkipWithError("wrong triangle count");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(glyphs));
}

void BM_LayoutMono48(benchmark::State& state) { layoutRun(state, asciiParagraph(), FONT_MONO, PARAGRAPH_CHARS); }
void BM_LayoutSans48(benchmark::State& state) { layoutRun(state, asciiParagraph(), FONT_SANS, PARAGRAPH_CHARS); }
void BM_LayoutCodeMapOnly(benchmark::State& state) { layoutRun(state, cjkParagraph(), FONT_FALLBACK, PARAGRAPH_CHARS); }

void BM_MeasureMono48(benchmark::State& state) {
  setup();
  const std::string text = asciiParagraph();
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  for (auto _ : state) benchmark::DoNotOptimize(measureRun(bytes, text.size(), 48.0f, FONT_MONO));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(PARAGRAPH_CHARS));
}
}  // namespace

BENCHMARK(BM_LayoutMono48);
BENCHMARK(BM_LayoutSans48);
BENCHMARK(BM_MeasureMono48);
BENCHMARK(BM_LayoutCodeMapOnly);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  closeFonts();
  return 0;
}
