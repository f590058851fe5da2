// The frame composition against memcpy of the area it redraws. An 800 x 600
// screen (8 x 6 cells) shows a full-screen background sprite and further
// 100 x 75 sprites scattered over it (opaque, or through a noise alpha page
// in the alpha runs); each iteration marks 1, 10 or 48 cells and runs the
// frame cycle: recomposition and the window rectangles to show. The
// reference copies the same cells' rows with memcpy. Also: one full 1920 x
// 1080 frame through the headless platform's present, and frames of 1 000 to
// 8 000 endlessly turning sprites (each frame rebuilds and marks every one),
// whose cost per frame must grow in step with the number of sprites.
// run_graphics_bench.sh prints the ratios.

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "graphics/change_marks.h"
#include "graphics/composition.h"
#include "graphics/page_table.h"
#include "graphics/screen.h"
#include "graphics/sprite_motion.h"
#include "graphics/state.h"
#include "platform/headless/headless_platform.h"

namespace {

namespace g = tavelo::graphics;

constexpr int32_t kWidth = 800;
constexpr int32_t kHeight = 600;

int32_t noise_page(g::State& state, int32_t width, int32_t height, uint32_t seed, bool with_alpha) {
  int32_t handle = g::create_page(state, width, height, g::Depth::Rgb24, g::Holding::Script);
  std::mt19937 random(seed);
  for (uint8_t& byte : g::find_page(state, handle)->pixels) byte = uint8_t(random());
  if (with_alpha) {
    int32_t alpha = g::create_owned_alpha(state, handle);
    for (uint8_t& byte : g::find_page(state, alpha)->pixels) byte = uint8_t(random());
  }
  return handle;
}

// The screen with `sprites` sprites, composed once.
struct Screen {
  g::State state;
  uint32_t now = 1000;

  Screen(int32_t sprites, bool alpha) {
    int32_t display = g::create_display_page(state, kWidth, kHeight);
    int32_t background = noise_page(state, kWidth, kHeight, 1, false);
    place(g::create_sprite(state, background, {0, 0, kWidth, kHeight}, display), 0, 0);
    int32_t small = noise_page(state, 100, 75, 2, alpha);
    std::mt19937 random(3);
    for (int32_t i = 1; i < sprites; ++i) {
      place(g::create_sprite(state, small, {0, 0, 100, 75}, display), int32_t(random() % (kWidth - 100)),
            int32_t(random() % (kHeight - 75)));
    }
    g::run_frame_cycle(state, now);
    g::take_presentation(state);
  }
  void place(int32_t sprite, int32_t x, int32_t y) { g::start_move(state, *g::find_sprite(state, sprite), x, y, 0, now); }
};

g::Rect cell(int32_t index) { return {(index % 8) * 100, (index / 8) * 100, 100, 100}; }

void BM_compose(benchmark::State& state) {
  int32_t cells = int32_t(state.range(0)), sprites = int32_t(state.range(1));
  bool alpha = state.range(2) != 0;
  Screen screen(sprites, alpha);
  for (auto _ : state) {
    for (int32_t i = 0; i < cells; ++i) g::mark_changed(screen.state, screen.state.screen.display_page, cell(i));
    g::run_frame_cycle(screen.state, screen.now);
    benchmark::DoNotOptimize(g::take_presentation(screen.state));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * cells * 100 * 100 * 3);
}

void BM_memcpy_cells(benchmark::State& state) {
  int32_t cells = int32_t(state.range(0));
  g::Page src = g::make_page(kWidth, kHeight, g::Depth::Rgb24), dst = g::make_page(kWidth, kHeight, g::Depth::Rgb24);
  std::mt19937 random(1);
  for (uint8_t& byte : src.pixels) byte = uint8_t(random());
  for (auto _ : state) {
    for (int32_t i = 0; i < cells; ++i) {
      g::Rect area = cell(i);
      for (int32_t y = area.y; y < area.y + area.height; ++y) {
        std::memcpy(dst.row(y) + area.x * 3, src.row(y) + area.x * 3, size_t(area.width) * 3);
      }
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * cells * 100 * 100 * 3);
}

void BM_present_headless_full_hd(benchmark::State& state) {
  g::Page frame = g::make_page(1920, 1080, g::Depth::Rgb24);
  tavelo::platform::HeadlessPlatform platform;
  std::vector<tavelo::platform::FrameRect> changed = {{0, 0, 1920, 1080}};
  for (auto _ : state) platform.present({frame.pixels.data(), 1920, 1080, frame.stride, changed});
  state.SetBytesProcessed(int64_t(state.iterations()) * 1920 * 1080 * 3);
}

// As a game that turns many small sprites: every sprite shows the same 64 x
// 64 page and turns endlessly, still off the page where new sprites start.
void BM_turning_sprites(benchmark::State& state) {
  const int32_t sprites = int32_t(state.range(0));
  g::State graphics;
  const int32_t display = g::create_display_page(graphics, kWidth, kHeight);
  const int32_t picture = noise_page(graphics, 64, 64, 4, false);
  uint32_t now = 1000;
  for (int32_t i = 0; i < sprites; ++i) {
    g::Sprite& sprite = *g::find_sprite(graphics, g::create_sprite(graphics, picture, {0, 0, 1, 1}, display));
    g::rotate_sprite(sprite, 45.0f, 1000, g::Turning::Endless, now);
  }
  g::run_frame_cycle(graphics, now);
  g::take_presentation(graphics);
  for (auto _ : state) {
    now += 13;  // 80 frames a second, the frame limit
    g::run_frame_cycle(graphics, now);
    benchmark::DoNotOptimize(g::take_presentation(graphics));
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * sprites);
}

BENCHMARK(BM_memcpy_cells)->Arg(1)->Arg(10)->Arg(48);
BENCHMARK(BM_compose)
    ->ArgsProduct({{1, 10, 48}, {1, 16, 64}, {0, 1}})
    ->ArgNames({"cells", "sprites", "alpha"});
BENCHMARK(BM_present_headless_full_hd);
BENCHMARK(BM_turning_sprites)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(8000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
