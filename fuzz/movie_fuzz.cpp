// Arbitrary bytes as a movie file, read by libavformat through the engine's
// file layer and played on a made-up clock the way the host plays it: from
// the start, a range and looping, each picture drawn into a small window
// picture, the sound taken as fast as it comes. Every run must end: a movie
// that stops making progress ends after 2 s of movie time.

#include <cstddef>
#include <cstdint>
#include <string>
#include <unistd.h>
#include <vector>

#include "movie/player.h"
#include "platform/file_system.h"

namespace {

using namespace tavelo;

// A mixer that hears everything at once.
class InstantSound final : public movie::SoundOutput {
 public:
  bool start(int32_t& rate, int32_t& channels) override {
    rate = 22050;
    channels = 2;
    return true;
  }
  void stop() override {}
  size_t write(std::span<const int16_t> samples) override {
    m_frames += samples.size() / 2;
    return samples.size();
  }
  uint64_t frames_played() override { return m_frames; }
  uint64_t frames_buffered() override { return 0; }
  void set_volume(int32_t) override {}

 private:
  uint64_t m_frames = 0;
};

void play(movie::Player& player, movie::PlayRange range, graphics::Rect target) {
  constexpr int32_t kWidth = 48, kHeight = 36;
  std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 3);
  uint32_t now = 1000;
  movie::start_player(player, range, 800, now);
  // 20 s of movie time at most; the no-progress rule ends broken files sooner.
  for (int step = 0; step < 500 && movie::player_playing(player); ++step) {
    now += 40;
    if (movie::advance_player(player, now)) {
      if (!movie::draw_player_picture(player, pixels, kWidth, kHeight, kWidth * 3, target)) __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = "/tmp/movie_fuzz_" + std::to_string(getpid()) + ".bin";
  if (!platform::write_file_atomically(path, std::span(data, size))) return 0;
  std::optional<platform::File> file = platform::File::open(path, platform::OpenMode::Read);
  if (!file) return 0;
  InstantSound sound;
  movie::PlayerHandle player = movie::open_player(std::move(*file), movie::Decoding::Caller, &sound);
  if (!player) return 0;
  play(*player, {}, {0, 0, 48, 36});
  play(*player, {100, 700, false}, {-10, 5, 64, 40});
  play(*player, {0, -1, true}, {4, 4, 20, 20});
  return 0;
}
