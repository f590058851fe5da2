// Drawing a line of Japanese text (20 characters, 20-pixel gothic and mincho,
// anti-aliased, outlined) with every glyph rasterised, against the same line
// copied from the glyph cache; and the start-up pre-build of one cache.
// Items are characters.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "text/renderer.h"

namespace {

using namespace tavelo;

constexpr const char* kLine = "吾輩は猫である。名前はまだ無い。どこで生";

struct Fixture {
  explicit Fixture(const char* face_utf8) : encoding(platform::TextEncoding::create("CP932")) {
    renderer.codec = text::make_text_codec(*encoding);
    face = encoding->from_utf8(face_utf8).value_or("");
    line = encoding->from_utf8(kLine).value_or("");
    record = text::make_font_record(1);
    record.effect = 0x01000000;
  }

  void choose() { text::choose_font(renderer, record, text::FontChoice{face, 20, {}, {}, {}}, settings); }

  std::unique_ptr<platform::TextEncoding> encoding;
  text::Renderer renderer;
  text::FontRecord record;
  text::DrawSettings settings;
  std::string face;
  std::string line;
  graphics::Page page = graphics::make_page(640, 480, graphics::Depth::Rgb24);
};

void draw_line(benchmark::State& state, const char* face, bool cached) {
  Fixture f(face);
  // An in-memory cache (no file): every glyph is stored by the first draw.
  if (cached) (void)text::open_font_cache(f.renderer, f.face, 20, 10, "", text::CacheWrites::Disabled);
  f.choose();
  text::draw_text(f.renderer, f.record, f.page, nullptr, f.line, f.settings);
  for (auto _ : state) {
    benchmark::DoNotOptimize(text::draw_text(f.renderer, f.record, f.page, nullptr, f.line, f.settings));
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 20);
}

void BM_draw_rasterised_gothic(benchmark::State& state) { draw_line(state, "ＭＳ ゴシック", false); }
void BM_draw_rasterised_mincho(benchmark::State& state) { draw_line(state, "ＭＳ 明朝", false); }
void BM_draw_cached(benchmark::State& state) { draw_line(state, "ＭＳ ゴシック", true); }

void BM_prebuild_cache(benchmark::State& state) {
  Fixture f("ＭＳ ゴシック");
  const std::string path = platform::current_directory() + "/glyph_render_bench.fcd";
  for (auto _ : state) {
    benchmark::DoNotOptimize(text::prebuild_glyph_cache(f.renderer, f.face, 20, 10, path));
    state.PauseTiming();
    platform::remove_file(path);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 2222);
}

BENCHMARK(BM_draw_rasterised_gothic);
BENCHMARK(BM_draw_rasterised_mincho);
BENCHMARK(BM_draw_cached);
BENCHMARK(BM_prebuild_cache)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
