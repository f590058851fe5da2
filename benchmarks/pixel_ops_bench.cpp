// Throughput of the blending copies against memcpy of the same destination
// rectangle (rows copied one by one, as a plain page copy does). The noise
// alpha page is the worst case (every pixel blends); the disc is typical.
// Benchmarks named *_8bit work on 8-bit pages and compare with
// BM_memcpy_rows_8bit; run_graphics_bench.sh prints the ratios.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "graphics/pixel_ops.h"

namespace {

using tavelo::graphics::CopyRegion;
using tavelo::graphics::Depth;
using tavelo::graphics::Page;

Page noise_page(int32_t width, int32_t height, Depth depth, uint32_t seed) {
  Page page = tavelo::graphics::make_page(width, height, depth);
  std::mt19937 random(seed);
  for (uint8_t& byte : page.pixels) byte = uint8_t(random());
  return page;
}

void set_pixels(benchmark::State& state, int32_t width, int32_t height, int64_t bytes_per_pixel = 3) {
  state.SetItemsProcessed(int64_t(state.iterations()) * width * height);
  state.SetBytesProcessed(int64_t(state.iterations()) * width * height * bytes_per_pixel);
}

void memcpy_rows(benchmark::State& state, Depth depth) {
  int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
  Page src = noise_page(w, h, depth, 1);
  Page dst = noise_page(w, h, depth, 2);
  const size_t bytes = size_t(w) * size_t(src.bytes_per_pixel());
  for (auto _ : state) {
    for (int32_t y = 0; y < h; ++y) std::memcpy(dst.row(y), src.row(y), bytes);
    benchmark::ClobberMemory();
  }
  set_pixels(state, w, h, src.bytes_per_pixel());
}

void level_copy(benchmark::State& state, Depth depth) {
  int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
  Page src = noise_page(w, h, depth, 1);
  Page dst = noise_page(w, h, depth, 2);
  for (auto _ : state) {
    tavelo::graphics::level_copy(src, dst, CopyRegion{0, 0, 0, 0, w, h}, 100);
    benchmark::ClobberMemory();
  }
  set_pixels(state, w, h, src.bytes_per_pixel());
}

void BM_memcpy_rows(benchmark::State& state) { memcpy_rows(state, Depth::Rgb24); }
void BM_memcpy_rows_8bit(benchmark::State& state) { memcpy_rows(state, Depth::Indexed8); }
void BM_level_copy(benchmark::State& state) { level_copy(state, Depth::Rgb24); }
void BM_level_copy_8bit(benchmark::State& state) { level_copy(state, Depth::Indexed8); }

void BM_alpha_copy(benchmark::State& state) {
  int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
  Page src = noise_page(w, h, Depth::Rgb24, 1);
  Page alpha = noise_page(w, h, Depth::Indexed8, 3);
  Page dst = noise_page(w, h, Depth::Rgb24, 2);
  for (auto _ : state) {
    tavelo::graphics::alpha_copy(src, alpha, dst, nullptr, CopyRegion{0, 0, 0, 0, w, h}, 0);
    benchmark::ClobberMemory();
  }
  set_pixels(state, w, h);
}

// A picture-like alpha page: an opaque disc on a transparent ground with a
// soft edge a few pixels wide, as character pictures have.
void BM_alpha_copy_disc(benchmark::State& state) {
  int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
  Page src = noise_page(w, h, Depth::Rgb24, 1);
  Page alpha = tavelo::graphics::make_page(w, h, Depth::Indexed8);
  double radius = h * 0.45;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      double distance = std::hypot(x - w / 2.0, y - h / 2.0) - radius;
      alpha.row(y)[x] = uint8_t(std::clamp(distance * 64.0 + 128.0, 0.0, 255.0));
    }
  }
  Page dst = noise_page(w, h, Depth::Rgb24, 2);
  for (auto _ : state) {
    tavelo::graphics::alpha_copy(src, alpha, dst, nullptr, CopyRegion{0, 0, 0, 0, w, h}, 0);
    benchmark::ClobberMemory();
  }
  set_pixels(state, w, h);
}

void BM_copy_pixels(benchmark::State& state) {
  int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
  Page src = noise_page(w, h, Depth::Rgb24, 1);
  Page dst = noise_page(w, h, Depth::Rgb24, 2);
  for (auto _ : state) {
    tavelo::graphics::copy_pixels(src, nullptr, dst, nullptr, CopyRegion{0, 0, 0, 0, w, h});
    benchmark::ClobberMemory();
  }
  set_pixels(state, w, h);
}

void sizes(benchmark::internal::Benchmark* bench) {
  bench->Args({640, 480})->Args({1920, 1080});
}

BENCHMARK(BM_memcpy_rows)->Apply(sizes);
BENCHMARK(BM_copy_pixels)->Apply(sizes);
BENCHMARK(BM_level_copy)->Apply(sizes);
BENCHMARK(BM_alpha_copy)->Apply(sizes);
BENCHMARK(BM_alpha_copy_disc)->Apply(sizes);
BENCHMARK(BM_memcpy_rows_8bit)->Apply(sizes);
BENCHMARK(BM_level_copy_8bit)->Apply(sizes);

}  // namespace

BENCHMARK_MAIN();
