// A page of 1 000 characters of Japanese story text laid out and drawn by
// the message window (four message instructions of 250 characters, line
// breaking with the kinsoku tables, one layout step per line, the line events
// raised), with the glyph cache warm and cold. Items are characters; the
// budget for a warm page is 4 ms, a quarter of a 60 Hz frame.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "graphics/page_table.h"
#include "host/engine.h"
#include "platform/headless/headless_platform.h"
#include "platform/text_encoding.h"
#include "script/machine.h"
#include "text/message_window.h"
#include "text/state.h"

namespace {

using namespace tavelo;

// 50 characters, repeated: kana, kanji and punctuation the tables act on.
constexpr const char* kStory = "吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何でも薄暗い「じめじめ」した所で泣";

struct Fixture {
  Fixture() : encoding(platform::TextEncoding::create("CP932")), engine(platform, *encoding, "/nonexistent") {
    platform.set_echo_to_stderr(false);
    text::State& text = engine.text;
    text.renderer.codec = text::make_text_codec(*encoding);
    text.renderer.client_width = 1280;
    text.message.options.kinsoku = text::default_kinsoku_tables(*encoding);
    text.message.options.punctuation = text::make_punctuation(*encoding);
    text.message.open = true;
    thread = script::create_thread(engine.script, 0);
    script::make_current(engine.script, thread);
    page = graphics::create_page(engine.graphics, 1280, 720, graphics::Depth::Rgb24, graphics::Holding::Script);
    text::FontRecord& console = text.message.console;
    console.page = page;
    console.frame = {40, 40, 1200, 660};
    const std::string face = encoding->from_utf8("ＭＳ ゴシック").value_or("");
    text::choose_font(text.renderer, console, text::FontChoice{face, 24, {}, {}, {}}, {});
    const std::string story = encoding->from_utf8(kStory).value_or("");
    for (int i = 0; i < 5; ++i) chunk += story;  // 250 characters
  }

  // Lays out one page; returns the lines drawn.
  int lay_out_page() {
    text::State& text = engine.text;
    text::FontRecord& console = text.message.console;
    console.x = console.frame.x;
    console.y = console.frame.y;
    const text::Canvas canvas{graphics::find_page(engine.graphics, page), nullptr};
    int lines = 0;
    for (int part = 0; part < 4; ++part) {
      text::append_message_text(text.message, text.renderer.codec.lead_bytes, chunk);
      while (text::lay_out_step(text, engine.script, canvas, nullptr).outcome == text::StepOutcome::RunAgain) {
        text::raise_queued_events(text, engine.script);
        ++lines;
      }
    }
    return lines;
  }

  platform::HeadlessPlatform platform{platform::AnswerPolicy{}};
  std::unique_ptr<platform::TextEncoding> encoding;
  host::Engine engine;
  script::Thread* thread = nullptr;
  int32_t page = 0;
  std::string chunk;
};

void lay_out(benchmark::State& state, bool cached) {
  Fixture f;
  text::State& text = f.engine.text;
  if (cached) {
    (void)text::open_font_cache(text.renderer, text.message.console.face, 24, 12, "", text::CacheWrites::Disabled);
    text.message.console.cache_usable = text::cache_serves(text.renderer.cache, text.message.console, 4);
    f.lay_out_page();  // warms the cache
  }
  int lines = 0;
  for (auto _ : state) lines = f.lay_out_page();
  state.SetItemsProcessed(int64_t(state.iterations()) * 1000);
  state.counters["lines"] = lines;
}

void BM_page_1000_characters_warm_cache(benchmark::State& state) { lay_out(state, true); }
void BM_page_1000_characters_no_cache(benchmark::State& state) { lay_out(state, false); }

BENCHMARK(BM_page_1000_characters_warm_cache)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_page_1000_characters_no_cache)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
