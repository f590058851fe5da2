// Movie playback cost: an MPEG-1 film with MP2 sound (10 s of ffmpeg's moving
// test picture and a tone, made once per run) decoded and shown the way the
// host does it each cycle: the player advanced on a clock in 10 ms steps,
// each due picture converted by libswscale into a window picture, the sound
// converted to 44.1 kHz stereo. Arguments: the film's width and height and
// the window's. "core_share" is CPU seconds per second of film: the share of
// one core playback needs (the aim at 1280 x 720 is under 0.15).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "movie/player.h"
#include "platform/file_system.h"
#include "tests/support/clocked_sound.h"

namespace {

using namespace tavelo;

constexpr int kFilmSeconds = 10;

struct Films {
  std::string directory;
  std::map<std::string, std::string> paths;  // "WxH" -> file
  Films() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/tavelo-bench-XXXXXX";
    if (::mkdtemp(pattern.data())) directory = pattern;
  }
  ~Films() {
    std::error_code ignored;
    if (!directory.empty()) std::filesystem::remove_all(directory, ignored);
  }
  const std::string* film(int width, int height) {
    std::string size = std::to_string(width) + "x" + std::to_string(height);
    auto found = paths.find(size);
    if (found != paths.end()) return &found->second;
    std::string path = directory + "/film" + size + ".mpg";
    std::string make = "ffmpeg -v error -y -f lavfi -i testsrc2=s=" + size + ":r=25:d=" + std::to_string(kFilmSeconds) +
                       " -f lavfi -i sine=frequency=440:duration=" + std::to_string(kFilmSeconds) +
                       ":sample_rate=44100 -c:v mpeg1video -q:v 3 -c:a mp2 -b:a 192k -f mpeg '" + path + "'";
    if (directory.empty() || std::system(make.c_str()) != 0) return nullptr;
    return &paths.emplace(size, path).first->second;
  }
};

Films& films() {
  static Films made;
  return made;
}

void BM_PlayFilm(benchmark::State& state) {
  int width = int(state.range(0)), height = int(state.range(1));
  int window_width = int(state.range(2)), window_height = int(state.range(3));
  const std::string* path = films().film(width, height);
  if (!path) {
    state.SkipWithError("ffmpeg could not make the film");
    return;
  }
  std::vector<uint8_t> window(size_t(window_width) * size_t(window_height) * 3);
  testing::ClockedSound sound(44100, 65536);
  int64_t pictures = 0;
  for (auto _ : state) {
    std::optional<platform::File> file = platform::File::open(*path, platform::OpenMode::Read);
    movie::PlayerHandle player = movie::open_player(std::move(*file), movie::Decoding::Caller, &sound);
    if (!player) {
      state.SkipWithError("the player refused the film");
      return;
    }
    uint32_t now = 1;
    movie::start_player(*player, {}, 1000, now);
    while (movie::player_playing(*player)) {
      if (movie::advance_player(*player, now)) {
        movie::draw_player_picture(*player, window, window_width, window_height, window_width * 3,
                                   {0, 0, window_width, window_height});
        ++pictures;
      }
      now += 10;
      sound.play_for(10);
    }
  }
  state.counters["pictures"] = benchmark::Counter(double(pictures), benchmark::Counter::kAvgIterations);
  state.counters["core_share"] = benchmark::Counter(double(state.iterations()) * kFilmSeconds,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PlayFilm)
    ->Unit(benchmark::kMillisecond)
    ->Args({640, 480, 640, 480})
    ->Args({1280, 720, 1280, 720})
    ->Args({640, 480, 1280, 960});

}  // namespace

BENCHMARK_MAIN();
