// The smooth scaled copy (one thread and banded) against libswscale's
// bilinear scaler on the same picture, and against memcpy of the destination
// bytes. 640 x 480 -> 1920 x 1440 is the window-scale presentation case.

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "graphics/scaling.h"

#if TAVELO_HAVE_SWSCALE
extern "C" {
#include <libswscale/swscale.h>
}
#endif

namespace {

using tavelo::graphics::Depth;
using tavelo::graphics::Page;
using tavelo::graphics::Threading;

constexpr int32_t kSrcW = 640, kSrcH = 480, kDstW = 1920, kDstH = 1440;

Page noise_page(int32_t width, int32_t height, uint32_t seed) {
  Page page = tavelo::graphics::make_page(width, height, Depth::Rgb24);
  std::mt19937 random(seed);
  for (uint8_t& byte : page.pixels) byte = uint8_t(random());
  return page;
}

void set_pixels(benchmark::State& state) {
  state.SetItemsProcessed(int64_t(state.iterations()) * kDstW * kDstH);
}

void smooth(benchmark::State& state, Threading threading) {
  Page src = noise_page(kSrcW, kSrcH, 1);
  Page dst = tavelo::graphics::make_page(kDstW, kDstH, Depth::Rgb24);
  for (auto _ : state) {
    tavelo::graphics::smooth_scaled_copy(src, {0, 0, kSrcW, kSrcH}, dst, {0, 0, kDstW, kDstH}, 3.0f, 3.0f,
                                         threading);
    benchmark::ClobberMemory();
  }
  set_pixels(state);
}

void BM_smooth_single_thread(benchmark::State& state) { smooth(state, Threading::CallingThread); }
void BM_smooth_banded(benchmark::State& state) { smooth(state, Threading::Auto); }

void BM_nearest_scaled_copy(benchmark::State& state) {
  Page src = noise_page(kSrcW, kSrcH, 1);
  Page dst = tavelo::graphics::make_page(kDstW, kDstH, Depth::Rgb24);
  for (auto _ : state) {
    tavelo::graphics::scaled_copy(src, nullptr, {0, 0, kSrcW, kSrcH}, dst, nullptr, {0, 0, kDstW, kDstH});
    benchmark::ClobberMemory();
  }
  set_pixels(state);
}

void BM_memcpy_destination(benchmark::State& state) {
  Page a = noise_page(kDstW, kDstH, 1);
  Page b = tavelo::graphics::make_page(kDstW, kDstH, Depth::Rgb24);
  for (auto _ : state) {
    std::memcpy(b.pixels.data(), a.pixels.data(), a.pixels.size());
    benchmark::ClobberMemory();
  }
  set_pixels(state);
}

#if TAVELO_HAVE_SWSCALE
void BM_swscale_bilinear(benchmark::State& state) {
  Page src = noise_page(kSrcW, kSrcH, 1);
  Page dst = tavelo::graphics::make_page(kDstW, kDstH, Depth::Rgb24);
  SwsContext* context = sws_getContext(kSrcW, kSrcH, AV_PIX_FMT_BGR24, kDstW, kDstH, AV_PIX_FMT_BGR24, SWS_BILINEAR,
                                       nullptr, nullptr, nullptr);
  if (!context) {
    state.SkipWithError("sws_getContext failed");
    return;
  }
  const uint8_t* src_planes[1] = {src.pixels.data()};
  const int src_strides[1] = {src.stride};
  uint8_t* dst_planes[1] = {dst.pixels.data()};
  const int dst_strides[1] = {dst.stride};
  for (auto _ : state) {
    sws_scale(context, src_planes, src_strides, 0, kSrcH, dst_planes, dst_strides);
    benchmark::ClobberMemory();
  }
  sws_freeContext(context);
  set_pixels(state);
}
BENCHMARK(BM_swscale_bilinear)->Unit(benchmark::kMillisecond);
#endif

BENCHMARK(BM_smooth_single_thread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_smooth_banded)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_nearest_scaled_copy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_memcpy_destination)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
