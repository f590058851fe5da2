// Arbitrary bytes as a movie file, read by libavformat through the engine's
// file layer and played on a made-up clock the way the host plays it: from
// the start, a range and looping, each picture drawn into a small window
// picture, the sound taken as the clock plays it. Every run must end: a movie
// that stops making progress ends after 2 s of movie time.

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <string>
#include <unistd.h>
#include <vector>

#include "movie/player.h"
#include "platform/file_system.h"

namespace {

using namespace tavelo;

// A mixer that takes the sound as the made-up clock plays it.
class ClockedSound final : public movie::SoundOutput {
 public:
  bool start(int32_t& rate, int32_t& channels) override {
    rate = 22050;
    channels = 2;
    m_written = m_played = 0;
    return true;
  }
  void stop() override {}
  size_t write(std::span<const int16_t> samples) override {
    size_t frames = std::min<uint64_t>(samples.size() / 2, 16384 - (m_written - m_played));
    m_written += frames;
    return frames * 2;
  }
  uint64_t frames_played() override { return m_played; }
  uint64_t frames_buffered() override { return m_written - m_played; }
  void set_volume(int32_t) override {}
  void play_for(uint32_t milliseconds) { m_played = std::min(m_written, m_played + milliseconds * 2205 / 100); }

 private:
  uint64_t m_written = 0;
  uint64_t m_played = 0;
};

void play(movie::Player& player, ClockedSound& sound, movie::PlayRange range, graphics::Rect target, int steps) {
  constexpr int32_t kWidth = 48, kHeight = 36;
  std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 3);
  uint32_t now = 1000;
  movie::start_player(player, range, 800, now);
  // The no-progress rule ends broken files within 2 s of movie time; the
  // bound only keeps long or looping films short.
  for (int step = 0; step < steps && movie::player_playing(player); ++step) {
    now += 40;
    sound.play_for(40);
    if (movie::advance_player(player, now)) movie::draw_player_picture(player, pixels, kWidth, kHeight, kWidth * 3, target);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = "/tmp/movie_fuzz_" + std::to_string(getpid()) + ".bin";
  if (!platform::write_file_atomically(path, std::span(data, size))) return 0;
  std::optional<platform::File> file = platform::File::open(path, platform::OpenMode::Read);
  ::unlink(path.c_str());  // read through the open file; nothing is left behind
  if (!file) return 0;
  ClockedSound sound;
  movie::PlayerHandle player = movie::open_player(std::move(*file), movie::Decoding::Caller, &sound);
  if (!player) return 0;
  play(*player, sound, {}, {0, 0, 48, 36}, 250);
  play(*player, sound, {100, 700, false}, {-10, 5, 64, 40}, 250);
  play(*player, sound, {0, -1, true}, {4, 4, 20, 20}, 25);
  return 0;
}
