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
#include "tests/support/clocked_sound.h"

namespace {

using namespace tavelo;

void play(movie::Player& player, testing::ClockedSound& sound, movie::PlayRange range, graphics::Rect target, int steps) {
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
  testing::ClockedSound sound(22050, 16384);
  movie::PlayerHandle player = movie::open_player(std::move(*file), movie::Decoding::Caller, &sound);
  if (!player) return 0;
  play(*player, sound, {}, {0, 0, 48, 36}, 250);
  play(*player, sound, {100, 700, false}, {-10, 5, 64, 40}, 250);
  play(*player, sound, {0, -1, true}, {4, 4, 20, 20}, 25);
  return 0;
}
