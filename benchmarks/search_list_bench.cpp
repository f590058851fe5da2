// Registering a directory of 20 000 files and an archive of 20 000 entries,
// and lookups against them. The game directory is generated once per run in
// a temporary directory.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "resources/state.h"
#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "resources/file_lookup.h"
#include "resources/format.h"
#include "resources/game_names.h"
#include "resources/search_list.h"
#include "tools/archive/archive_tool.h"

namespace {

using namespace tavelo;

constexpr int kFiles = 20000;
constexpr int kFilesPerFolder = 500;

std::string file_name(int i) { return resources::format_text("cg%05d.png", {i}); }

// The generated game: data/ (a tree of kFiles files) and data2.arc (kFiles
// entries with the same names). Removed at exit.
struct GameTree {
  std::string root;

  GameTree() {
    root = (std::filesystem::temp_directory_path() / ("tavelo-bench-" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(root);
    std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create("CP932");
    std::vector<tools::ArchiveInput> inputs;
    for (int i = 0; i < kFiles; ++i) {
      std::string folder = root + "/data/" + resources::format_text("folder%02d", {i / kFilesPerFolder});
      if (i % kFilesPerFolder == 0) std::filesystem::create_directories(folder);
      platform::write_file_atomically(folder + "/" + file_name(i), std::vector<uint8_t>{'x'});
      inputs.push_back({resources::lookup_key(encoding->lead_bytes(), file_name(i)), {'y', 'y'}});
    }
    std::vector<uint8_t> archive = tools::build_archive(resources::ArchiveVersion::V2, std::move(inputs));
    platform::write_file_atomically(root + "/data2.arc", archive);
  }
  ~GameTree() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
};

const GameTree& game_tree() {
  static const GameTree tree;
  return tree;
}

// The tree has no duplicate names; the scan runs without questions.
struct QuietScan final : resources::ScanObserver {
  bool accept_duplicate(std::string_view, std::string_view, std::string_view) override { return true; }
  bool continue_scan() override { return true; }
};

struct BenchResources {
  std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create("CP932");
  resources::State state{*encoding, game_tree().root};
  QuietScan observer;

  resources::Registration add(const char* name) {
    return resources::search_entry_add(state, name, resources::SoundOnly::No, observer);
  }
};

void register_place(benchmark::State& state, const char* name, resources::Registration expected) {
  for (auto _ : state) {
    state.PauseTiming();
    auto bench = std::make_unique<BenchResources>();
    state.ResumeTiming();
    if (bench->add(name) != expected) {
      state.SkipWithError("registration failed");
    }
    state.PauseTiming();
    bench.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kFiles);
}

void BM_register_directory(benchmark::State& state) { register_place(state, "data", resources::Registration::Directory); }
void BM_register_archive(benchmark::State& state) { register_place(state, "data2", resources::Registration::Archive); }

// Lookups through find_game_file (key, search, open). The place under test is
// registered behind an empty directory entry, as real games register update
// folders first.
void lookup(benchmark::State& state, const char* place, bool hit) {
  BenchResources bench;
  bench.add(place);
  std::vector<std::string> names;
  for (int i = 0; i < 1024; ++i) names.push_back(hit ? file_name((i * 7919) % kFiles) : "missing" + file_name(i));
  size_t i = 0;
  for (auto _ : state) {
    std::optional<platform::File> file = resources::find_game_file(bench.state, names[i++ & 1023]);
    if (file.has_value() != hit) state.SkipWithError("unexpected lookup result");
    benchmark::DoNotOptimize(file);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_lookup_directory_hit(benchmark::State& state) { lookup(state, "data", true); }
void BM_lookup_archive_hit(benchmark::State& state) { lookup(state, "data2", true); }
void BM_lookup_miss(benchmark::State& state) { lookup(state, "data2", false); }

void BM_file_exists_archive(benchmark::State& state) {
  BenchResources bench;
  bench.add("data2");
  int i = 0;
  std::vector<std::string> names;
  for (int n = 0; n < 1024; ++n) names.push_back(file_name((n * 7919) % kFiles));
  for (auto _ : state) benchmark::DoNotOptimize(resources::file_exists(bench.state, names[size_t(i++ & 1023)]));
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_register_directory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_register_archive)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_lookup_directory_hit);
BENCHMARK(BM_lookup_archive_hit);
BENCHMARK(BM_lookup_miss);
BENCHMARK(BM_file_exists_archive);

}  // namespace

BENCHMARK_MAIN();
