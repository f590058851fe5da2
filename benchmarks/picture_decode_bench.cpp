// Picture decoding throughput, in bytes of decoded pixels per second: .rct,
// .rc8 and our PNG reader, against libpng reading the same PNG straight into
// a buffer and against a plain copy of the pixel block.
//
// The picture imitates game artwork: a sky gradient, flat shapes with hard
// edges, and a textured band, so both back-references and literal runs occur.

#include <benchmark/benchmark.h>
#include <png.h>

#include <cstring>

#include "graphics/picture_png.h"
#include "graphics/picture_rct.h"
#include "tools/picture/picture_encoder.h"

namespace {

using namespace tavelo;

graphics::Page artwork(int32_t width, int32_t height) {
  graphics::Page page = graphics::make_page(width, height, graphics::Depth::Rgb24);
  uint32_t noise = 12345;
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = page.row(y);
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* p = row + 3 * size_t(x);
      p[0] = uint8_t(255 - y * 128 / height);
      p[1] = uint8_t(120 + y * 100 / height);
      p[2] = uint8_t(60 + y * 60 / height);
      int32_t dx = x - width / 3, dy = y - height / 2;
      if (dx * dx + dy * dy < (height / 4) * (height / 4)) std::memcpy(p, "\x30\x80\xF0", 3);
      if (x > width / 2 && x < width * 4 / 5 && y > height / 5 && y < height * 3 / 5) {
        std::memcpy(p, (x / 8 + y / 8) % 2 ? "\xE0\xE0\xE0" : "\x20\x20\x20", 3);
      }
      if (y > height * 3 / 4) {
        noise = noise * 1664525u + 1013904223u;
        p[0] = uint8_t(p[0] + (noise >> 29));
        p[1] = uint8_t(p[1] + (noise >> 26 & 3));
      }
    }
  }
  return page;
}

struct Samples {
  int32_t width, height;
  std::vector<uint8_t> rct, rc8, png;
};

Samples make_samples(int32_t width, int32_t height) {
  Samples s;
  s.width = width;
  s.height = height;
  graphics::Page page = artwork(width, height);
  s.rct = tools::encode_rct(page).bytes;
  s.png = graphics::encode_png(page);
  // 256 colours: keep the top bits of each channel.
  graphics::Page reduced = graphics::clone_page(page);
  for (uint8_t& b : reduced.pixels) b &= 0xC0;
  s.rc8 = tools::encode_rc8(*tools::to_indexed(reduced));
  return s;
}

void set_throughput(benchmark::State& state, int64_t bytes) {
  state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}

void BM_DecodeRct(benchmark::State& state) {
  const Samples s = make_samples(int32_t(state.range(0)), int32_t(state.range(1)));
  const graphics::ImageKey key{};
  for (auto _ : state) benchmark::DoNotOptimize(graphics::decode_rct(s.rct, key));
  set_throughput(state, int64_t(s.width) * s.height * 3);
  state.counters["compressed_%"] = 100.0 * double(s.rct.size()) / double(s.width * s.height * 3);
}

void BM_DecodeRc8(benchmark::State& state) {
  const Samples s = make_samples(int32_t(state.range(0)), int32_t(state.range(1)));
  for (auto _ : state) benchmark::DoNotOptimize(graphics::decode_rc8(s.rc8));
  set_throughput(state, int64_t(s.width) * s.height);
  state.counters["compressed_%"] = 100.0 * double(s.rc8.size()) / double(s.width * s.height);
}

void BM_DecodePngOurs(benchmark::State& state) {
  const Samples s = make_samples(int32_t(state.range(0)), int32_t(state.range(1)));
  for (auto _ : state) benchmark::DoNotOptimize(graphics::decode_png(s.png));
  set_throughput(state, int64_t(s.width) * s.height * 3);
  state.counters["compressed_%"] = 100.0 * double(s.png.size()) / double(s.width * s.height * 3);
}

// libpng on its own: the simplified reading interface, blue-green-red, into
// one buffer.
void BM_DecodePngLibpng(benchmark::State& state) {
  const Samples s = make_samples(int32_t(state.range(0)), int32_t(state.range(1)));
  std::vector<uint8_t> buffer(size_t(s.width) * size_t(s.height) * 3);
  for (auto _ : state) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, s.png.data(), s.png.size())) {
      state.SkipWithError("libpng refused the picture");
      break;
    }
    image.format = PNG_FORMAT_BGR;
    png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr);
    benchmark::DoNotOptimize(buffer.data());
  }
  set_throughput(state, int64_t(s.width) * s.height * 3);
}

void BM_CopyPixels(benchmark::State& state) {
  const size_t bytes = size_t(state.range(0)) * size_t(state.range(1)) * 3;
  std::vector<uint8_t> from(bytes, 7), to(bytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  set_throughput(state, int64_t(bytes));
}

#define PICTURE_SIZES Args({640, 480})->Args({1920, 1080})
BENCHMARK(BM_DecodeRct)->PICTURE_SIZES;
BENCHMARK(BM_DecodeRc8)->PICTURE_SIZES;
BENCHMARK(BM_DecodePngOurs)->PICTURE_SIZES;
BENCHMARK(BM_DecodePngLibpng)->PICTURE_SIZES;
BENCHMARK(BM_CopyPixels)->PICTURE_SIZES;

}  // namespace

BENCHMARK_MAIN();
