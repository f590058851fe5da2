// Saving and loading a typical game state: a 640×480 thumbnail, 2 000 global
// variables (ints, floats, strings and a few arrays, some sharing blocks), a
// thread store, a three-frame stack and a full 40 000-byte history. Measured
// apart: building the file image, writing it without the disk sync, the
// atomic replacement with its syncs, and reading it back with every check.
// The bytes written are reported as a counter.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "persistence/save_file.h"
#include "platform/file_system.h"

namespace {

using namespace tavelo;

persistence::SaveImage typical_state() {
  persistence::SaveImage image;
  image.comment = "Chapter 3 - the station at night";
  image.thumbnail_width = 640;
  image.thumbnail_height = 480;
  image.thumbnail.resize(640 * 480 * 3);
  for (size_t i = 0; i < image.thumbnail.size(); ++i) image.thumbnail[i] = uint8_t(i * 7 + (i >> 9));
  image.history.resize(persistence::kHistoryBytes);
  for (size_t i = 0; i < image.history.size(); ++i) image.history[i] = uint8_t('a' + i % 26);
  script::Value shared = script::make_string("a flag text that several variables share");
  for (uint32_t i = 0; i < 2000; ++i) {
    script::Value value;
    switch (i % 8) {
      case 0: value = script::make_string("name of scene " + std::to_string(i)); break;
      case 1:
        value = shared;
        script::retain_value(value);
        break;
      case 2: value = script::make_float(float(i) * 0.5f); break;
      case 3:
        if (i % 64 == 3) {
          value = script::make_int(0);
          value.type = script::ValueType::IntArray;
          value.array = script::new_array_block(script::ValueType::IntArray, 1, 1, 100);
          break;
        }
        [[fallthrough]];
      default: value = script::make_int(int32_t(i * 13));
    }
    value.hash = 0x10000 + i;
    value.scope = script::Scope::Global;
    image.globals.values.push_back(value);
  }
  script::release_value(shared);
  for (uint32_t i = 0; i < 40; ++i) {
    script::Value value = script::make_int(int32_t(i));
    value.hash = 0x20000 + i;
    image.thread_values.values.push_back(value);
  }
  for (uint32_t i = 0; i < 12; ++i) image.locals.values.push_back(script::make_int(int32_t(i)));
  for (int depth = 0; depth < 3; ++depth) {
    persistence::FrameRecord frame;
    frame.script_name = "CHAPTER3.TVO";
    frame.position = 100 + depth;
    frame.base = 1 + depth * 4;
    frame.top = frame.base + 2;
    image.frames.push_back(frame);
  }
  return image;
}

void BM_build_save_file(benchmark::State& state) {
  persistence::SaveImage image = typical_state();
  size_t bytes = 0;
  for (auto _ : state) {
    std::vector<uint8_t> file = persistence::write_save_file(image);
    bytes = file.size();
    benchmark::DoNotOptimize(file.data());
  }
  state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_build_save_file)->Unit(benchmark::kMillisecond);

std::string bench_path() { return "/tmp/tavelo_save_bench_" + std::to_string(::getpid()) + ".sav"; }

// The image built and written to a file, without the disk sync.
void BM_save_without_sync(benchmark::State& state) {
  persistence::SaveImage image = typical_state();
  const std::string path = bench_path();
  for (auto _ : state) {
    std::vector<uint8_t> file = persistence::write_save_file(image);
    std::optional<platform::File> out = platform::File::open(path, platform::OpenMode::Write);
    if (!out || !out->write(file)) state.SkipWithError("cannot write the file");
  }
  platform::remove_file(path);
}
BENCHMARK(BM_save_without_sync)->Unit(benchmark::kMillisecond);

// The atomic replacement as saves do it: temporary file, sync, rename,
// directory sync. The sync is the disk's time, not the engine's.
void BM_atomic_write_with_sync(benchmark::State& state) {
  std::vector<uint8_t> file = persistence::write_save_file(typical_state());
  const std::string path = bench_path();
  for (auto _ : state) {
    if (!platform::write_file_atomically(path, file)) state.SkipWithError("cannot replace the file");
  }
  platform::remove_file(path);
}
BENCHMARK(BM_atomic_write_with_sync)->Unit(benchmark::kMillisecond);

// Reading the file and checking and building everything in it.
void BM_load(benchmark::State& state) {
  const std::string path = bench_path();
  std::vector<uint8_t> file = persistence::write_save_file(typical_state());
  if (!platform::write_file_atomically(path, file)) state.SkipWithError("cannot write the file");
  for (auto _ : state) {
    std::optional<std::vector<uint8_t>> bytes = platform::read_file(path);
    persistence::SaveImage image;
    if (!bytes || persistence::parse_save_file(*bytes, image) != persistence::SaveFileStatus::Ok) {
      state.SkipWithError("the file does not load");
    }
    benchmark::DoNotOptimize(image.globals.values.data());
  }
  platform::remove_file(path);
}
BENCHMARK(BM_load)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
