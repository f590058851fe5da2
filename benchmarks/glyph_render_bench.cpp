// Glyphs of a line of Japanese text (20 characters, IPA Gothic at 24 and 48
// pixels, anti-aliased, outlined) rasterised every time, against the same
// line copied from the glyph cache; a mincho line (thickened); and the
// start-up pre-build of one cache. Items are characters. The glyph stage
// (rasterising, or copying from the cache) is measured alone by drawing onto
// a one-pixel page, and the compositing of the finished line alone as well.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "text/glyph_composite.h"
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
    // Wide enough for 20 characters of 48 pixels.
    renderer.client_width = 1280;
  }

  void choose(int32_t height) {
    text::choose_font(renderer, record, text::FontChoice{face, height, {}, {}, {}}, settings);
  }

  std::unique_ptr<platform::TextEncoding> encoding;
  text::Renderer renderer;
  text::FontRecord record;
  text::DrawSettings settings;
  std::string face;
  std::string line;
  graphics::Page page = graphics::make_page(1280, 480, graphics::Depth::Rgb24);
};

void draw_line(benchmark::State& state, const char* face, bool cached, bool glyph_stage_only = false) {
  const int32_t height = int32_t(state.range(0));
  Fixture f(face);
  // Onto a one-pixel page the compositing has next to nothing to do, which
  // leaves the glyph stage: rasterising, or copying from the cache.
  if (glyph_stage_only) f.page = graphics::make_page(1, 1, graphics::Depth::Rgb24);
  // An in-memory cache (no file): every glyph is stored by the first draw.
  if (cached) (void)text::open_font_cache(f.renderer, f.face, height, height / 2, "", text::CacheWrites::Disabled);
  f.choose(height);
  text::draw_text(f.renderer, f.record, f.page, nullptr, f.line, f.settings);
  const uint64_t calls = f.renderer.freetype_glyph_calls;
  for (auto _ : state) {
    benchmark::DoNotOptimize(text::draw_text(f.renderer, f.record, f.page, nullptr, f.line, f.settings));
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 20);
  // Cached glyphs must not have reached FreeType.
  state.counters["freetype_calls_per_glyph"] =
      double(f.renderer.freetype_glyph_calls - calls) / double(state.iterations() * 20);
}

// The part of every draw that does not depend on where glyphs come from.
void BM_line_composite(benchmark::State& state) {
  const int32_t height = int32_t(state.range(0));
  Fixture f("ＭＳ ゴシック");
  f.choose(height);
  const int32_t advance = text::draw_text(f.renderer, f.record, f.page, nullptr, f.line, f.settings).advance;
  const text::LineInk ink{&f.renderer.line_buffer, advance, advance, height};
  const text::InkStyle style{f.record.colour, f.record.effect, f.settings.decoration};
  for (auto _ : state) {
    benchmark::DoNotOptimize(text::composite_line(ink, style, f.page, nullptr, 0, 0));
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 20);
}

void BM_glyphs_rasterised(benchmark::State& state) { draw_line(state, "ＭＳ ゴシック", false); }
void BM_glyphs_cached(benchmark::State& state) { draw_line(state, "ＭＳ ゴシック", true); }
void BM_glyph_stage_rasterised(benchmark::State& state) { draw_line(state, "ＭＳ ゴシック", false, true); }
void BM_glyph_stage_cached(benchmark::State& state) { draw_line(state, "ＭＳ ゴシック", true, true); }
void BM_glyphs_rasterised_mincho(benchmark::State& state) { draw_line(state, "ＭＳ 明朝", false); }

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

BENCHMARK(BM_glyphs_rasterised)->Arg(24)->Arg(48);
BENCHMARK(BM_glyphs_cached)->Arg(24)->Arg(48);
BENCHMARK(BM_glyphs_rasterised_mincho)->Arg(24);
BENCHMARK(BM_glyph_stage_rasterised)->Arg(24)->Arg(48);
BENCHMARK(BM_glyph_stage_cached)->Arg(24)->Arg(48);
BENCHMARK(BM_line_composite)->Arg(24)->Arg(48);
BENCHMARK(BM_prebuild_cache)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
