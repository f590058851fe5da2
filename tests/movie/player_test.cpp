// The player as a real window runs it: decoding on its worker thread against
// the wall clock, with no sound and with a sound device that never takes
// anything (the pictures must not wait for it).

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "movie/player.h"
#include "tests/support/test_engine.h"

namespace tavelo::testing {
namespace {

// Accepts what fits in a small ring and never plays any of it.
class StuckSound final : public movie::SoundOutput {
 public:
  bool start(int32_t& rate, int32_t& channels) override {
    rate = 44100;
    channels = 2;
    return true;
  }
  void stop() override {}
  size_t write(std::span<const int16_t> samples) override {
    size_t taken = std::min(samples.size(), size_t(8192) - std::min<size_t>(m_buffered, 8192));
    m_buffered += taken;
    return taken;
  }
  uint64_t frames_played() override { return 0; }
  uint64_t frames_buffered() override { return m_buffered / 2; }
  void set_volume(int32_t) override {}

 private:
  size_t m_buffered = 0;
};

uint32_t wall_ms() {
  using namespace std::chrono;
  return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

TEST(MoviePlayer, the_worker_keeps_pictures_on_time_with_or_without_a_sound_device) {
  TempDirectory directory;
  std::string film = directory.at("film.avi");
  ASSERT_EQ(run_command("ffmpeg -v error -y -f lavfi -i color=c=red:s=64x48:r=25:d=1 -f lavfi -i "
                        "color=c=lime:s=64x48:r=25:d=1 -f lavfi -i sine=duration=2 -filter_complex "
                        "'[0:v][1:v]concat=n=2:v=1:a=0[v]' -map '[v]' -map 2:a -c:v mjpeg -c:a pcm_s16le '" +
                        film + "'")
                .exit_status,
            0);
  StuckSound stuck;
  for (movie::SoundOutput* sound : {static_cast<movie::SoundOutput*>(nullptr), static_cast<movie::SoundOutput*>(&stuck)}) {
    std::optional<platform::File> file = platform::File::open(film, platform::OpenMode::Read);
    ASSERT_TRUE(file);
    movie::PlayerHandle player = movie::open_player(std::move(*file), movie::Decoding::WorkerThread, sound);
    ASSERT_TRUE(player);
    uint32_t start = wall_ms();
    movie::start_player(*player, {700, 1300, false}, 1000, start);
    std::vector<uint8_t> window(64 * 48 * 3);
    std::vector<int> reds;  // the red channel of each picture shown, in order
    while (movie::player_playing(*player) && wall_ms() - start < 3000) {
      if (movie::advance_player(*player, wall_ms())) {
        ASSERT_TRUE(movie::draw_player_picture(*player, window, 64, 48, 64 * 3, {0, 0, 64, 48}));
        reds.push_back(window[32 * 3 + 2]);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    uint32_t lasted = wall_ms() - start;
    EXPECT_GE(lasted, 590u);
    EXPECT_LE(lasted, 900u);
    // 15 pictures in the range; a loaded machine may drop a few.
    EXPECT_GE(reds.size(), 10u);
    ASSERT_FALSE(reds.empty());
    EXPECT_GT(reds.front(), 200) << "the range starts in the red second";
    EXPECT_LT(reds.back(), 60) << "and ends in the green one";
  }
}

}  // namespace
}  // namespace tavelo::testing
