// Movies driven by real scripts on the headless engine, with films made by
// the `ffmpeg` program: a red second then a green one, with a tone, and a
// film whose pictures carry their number. What the player sees is read from
// screenshots taken at script times, what it hears from the WAV that
// --audio-out writes, and the calls' results and waits from the debug log.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/picture_png.h"
#include "host/engine.h"
#include "resources/settings.h"
#include "tests/support/script_calls.h"
#include "tests/support/test_engine.h"

namespace tavelo::testing {
namespace {

const std::string kNow = "0x6584F13E";  // script time in ms
const std::string kScreen = "TITLEBAR TaveloTest\nCLIENT_WIDTH 320\nCLIENT_HEIGHT 240\n";

// Two seconds: red, then green, 25 pictures a second, a 440 Hz tone throughout.
bool make_film(const std::string& path, const std::string& video_codec, const std::string& audio_codec) {
  std::string command =
      "ffmpeg -v error -y -f lavfi -i color=c=red:s=160x120:r=25:d=1 -f lavfi -i color=c=lime:s=160x120:r=25:d=1 "
      "-f lavfi -i sine=frequency=440:duration=2:sample_rate=44100 "
      "-filter_complex '[0:v][1:v]concat=n=2:v=1:a=0[v]' -map '[v]' -map 2:a -c:v " +
      video_codec + " -q:v 3 -c:a " + audio_codec + " '" + path + "'";
  return run_command(command).exit_status == 0;
}

struct Colour {
  int red = 0, green = 0, blue = 0;
};

Colour pixel(const std::string& png_path, int x, int y) {
  graphics::PngDecoded decoded = graphics::decode_png(read_bytes(png_path));
  if (!decoded.image || x >= decoded.image->colour.width || y >= decoded.image->colour.height) return {-1, -1, -1};
  const uint8_t* at = decoded.image->colour.row(y) + x * 3;
  return {at[2], at[1], at[0]};
}

bool is_red(Colour c) { return c.red > 200 && c.green < 60 && c.blue < 60; }
bool is_green(Colour c) { return c.green > 200 && c.red < 60 && c.blue < 60; }

// A game with the films under movie/ and a start script running body.
struct MovieGame {
  TempDirectory directory;
  MovieGame() {
    directory.make_directory("movie");
    EXPECT_TRUE(make_film(directory.at("movie/film.mpg"), "mpeg1video", "mp2"));
    EXPECT_TRUE(make_film(directory.at("movie/film.avi"), "mjpeg", "pcm_s16le"));
  }
  void script(const std::string& body) {
    GameFiles files;
    files.environment = kScreen;
    files.scripts.push_back({"scenario/start.tvo", start_script(body)});
    write_game(directory, files);
  }
  // Runs the tavelo program with replayed input; the debug log's lines.
  std::vector<std::string> run(const std::string& input, const std::string& options = "") {
    directory.write("input.txt", input);
    ProcessResult result = run_tavelo(directory, "--input '" + directory.at("input.txt") + "' " + options);
    EXPECT_EQ(result.exit_status, 0) << result.output;
    std::vector<uint8_t> log = read_bytes(directory.at("debugout.log"));
    return log_messages(std::string(log.begin(), log.end()));
  }
};

// Starts @t0, plays, waits, prints the wait's length and the playing state.
std::string play_and_wait(const std::string& play, const std::string& wait_argument) {
  return keep("t0", kNow, {}) + play + print("is_movie_play", {}) +
         (wait_argument.empty() ? call("movie_wait", {}) : call("movie_wait", {wait_argument})) +
         call(kNow, {}) + push("@t0") + "    sub_int\n    PRINT 1\n" +
         print("is_movie_play", {});
}

int as_int(const std::string& line) { return std::stoi(line); }

// RMS of interleaved 16-bit samples in [from, to) seconds of the WAV.
double loudness(const std::vector<uint8_t>& wav, double from, double to) {
  std::string text(wav.begin(), wav.end());
  size_t data = text.find("data");
  if (data == std::string::npos) return -1;
  const uint8_t* samples = wav.data() + data + 8;
  size_t count = (wav.size() - data - 8) / 2;
  size_t first = size_t(from * 44100) * 2, last = std::min(count, size_t(to * 44100) * 2);
  double sum = 0;
  for (size_t i = first; i < last; ++i) {
    int16_t sample;
    std::memcpy(&sample, samples + i * 2, 2);
    sum += double(sample) * sample;
  }
  return last > first ? std::sqrt(sum / double(last - first)) : 0;
}

TEST(Movie, pictures_follow_the_clock_and_sound_reaches_the_mix) {
  MovieGame game;
  // An unskippable wait ignores the click at 800; the movie ends at 2 s.
  game.script(play_and_wait(call("movie_play", {"'film.mpg'"}), "0") + call("movie_stop", {}));
  std::vector<std::string> lines =
      game.run("500 screenshot " + game.directory.at("a.png") + "\n800 click left 10 10\n1500 screenshot " +
                   game.directory.at("b.png") + "\n",
               "--audio-out '" + game.directory.at("out.wav") + "'");
  ASSERT_EQ(lines.size(), 3u) << ::testing::PrintToString(lines);
  EXPECT_EQ(lines[0], "1 ");
  EXPECT_GE(as_int(lines[1]), 1950);
  EXPECT_LE(as_int(lines[1]), 2200);
  EXPECT_EQ(lines[2], "0 ");
  // The 160x120 film fills the 320x240 screen.
  EXPECT_TRUE(is_red(pixel(game.directory.at("a.png"), 300, 220)));
  EXPECT_TRUE(is_green(pixel(game.directory.at("b.png"), 20, 20)));
  std::vector<uint8_t> wav = read_bytes(game.directory.at("out.wav"));
  // A full-scale 440 Hz tone from ffmpeg's sine source has an RMS near 4000.
  EXPECT_GT(loudness(wav, 0.2, 1.8), 2000);
  EXPECT_LT(loudness(wav, 2.3, 2.5), 50);
}

TEST(Movie, a_click_or_a_key_ends_a_skippable_wait_and_the_movie_plays_on) {
  MovieGame game;
  game.script(play_and_wait(call("movie_play", {"'film.avi'"}), "") + call("movie_stop", {}) +
              print("is_movie_play", {}) + play_and_wait(call("movie_play", {"'film.avi'", "0", "0", "0", "160", "120"}), "1"));
  // The run ends with the second movie on the screen: --screenshot shows it.
  std::vector<std::string> lines =
      game.run("300 click left 10 10\n900 key Space\n", "--screenshot '" + game.directory.at("end.png") + "'");
  ASSERT_EQ(lines.size(), 7u) << ::testing::PrintToString(lines);
  EXPECT_EQ(lines[0], "1 ");
  EXPECT_GE(as_int(lines[1]), 300);
  EXPECT_LE(as_int(lines[1]), 400);
  EXPECT_EQ(lines[2], "1 ") << "movie_wait does not stop the movie";
  EXPECT_EQ(lines[3], "0 ") << "movie_stop does";
  EXPECT_EQ(lines[4], "1 ");
  EXPECT_GE(as_int(lines[5]), 900 - as_int(lines[1]) - 50);
  EXPECT_LE(as_int(lines[5]), 900 - as_int(lines[1]) + 100);
  EXPECT_TRUE(is_red(pixel(game.directory.at("end.png"), 150, 110)));
}

TEST(Movie, a_range_plays_between_its_bounds) {
  MovieGame game;
  // 500-1500 shows red for its first half and green for its second, and
  // lasts a second; a range that ends before it starts, or lies past the
  // end of the film, is over at once.
  game.script(play_and_wait(call("movie_play_range", {"'film.mpg'", "500", "1500"}), "0") + call("movie_stop", {}) +
              play_and_wait(call("movie_play_range", {"'film.mpg'", "800", "800"}), "0") + call("movie_stop", {}) +
              play_and_wait(call("movie_play_range", {"'film.mpg'", "5000", "9000"}), "0") + call("movie_stop", {}));
  std::vector<std::string> lines =
      game.run("200 screenshot " + game.directory.at("a.png") + "\n800 screenshot " + game.directory.at("b.png") + "\n");
  ASSERT_EQ(lines.size(), 9u) << ::testing::PrintToString(lines);
  EXPECT_GE(as_int(lines[1]), 950);
  EXPECT_LE(as_int(lines[1]), 1100);
  EXPECT_TRUE(is_red(pixel(game.directory.at("a.png"), 160, 120)));
  EXPECT_TRUE(is_green(pixel(game.directory.at("b.png"), 160, 120)));
  EXPECT_LE(as_int(lines[4]), 30);
  EXPECT_EQ(lines[5], "0 ");
  EXPECT_LE(as_int(lines[7]), 100);
  EXPECT_EQ(lines[8], "0 ");
}

TEST(Movie, a_missing_file_is_reported_and_one_that_is_no_film_plays_nothing_silently) {
  TempDirectory game;
  game.write("movie/broken.mpg", std::string(4096, '\x42'));
  game.write("movie/empty.avi", "");
  GameFiles files;
  files.environment = kScreen;
  files.scripts.push_back({"scenario/start.tvo",
                           start_script(call("movie_play", {"'nothere.mpg'"}) + print("movie_play_loop", {"'broken.mpg'"}) +
                                        print("is_movie_play", {}) + call("movie_wait", {}) + call("movie_stop", {}) +
                                        print("movie_play", {"'empty.avi'"}) + print("is_movie_play", {}) +
                                        call("movie_stop", {}))});
  write_game(game, files);
  GameRun run = run_game(game);
  std::vector<std::string> lines = log_messages(run.log);
  ASSERT_EQ(lines.size(), 5u) << ::testing::PrintToString(lines);
  EXPECT_TRUE(contains(lines[0], std::string("movie_play : ムービーファイル[nothere.mpg]が存在しません")));
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), std::vector<std::string>(4, "0 "));
  // The missing file's report is the only box.
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_TRUE(contains(run.boxes[0].text, "nothere.mpg"));
}

TEST(Movie, the_key_that_ends_a_wait_does_not_end_the_next_one) {
  MovieGame game;
  // The first wait ends at the key; the pending-input call then reports no
  // click, and the second wait lasts until the film ends at 2 s.
  game.script(keep("t0", kNow, {}) + call("movie_play", {"'film.avi'"}) + call("movie_wait", {}) +
              print("0x892E9B20", {}) + call("movie_wait", {}) + call(kNow, {}) + push("@t0") +
              "    sub_int\n    PRINT 1\n" + call("movie_stop", {}));
  for (const char* key : {"Return", "Escape"}) {
    std::remove(game.directory.at("debugout.log").c_str());
    std::vector<std::string> lines = game.run(std::string("300 key ") + key + "\n");
    ASSERT_EQ(lines.size(), 2u) << key << ::testing::PrintToString(lines);
    EXPECT_EQ(lines[0], "0 ") << key;
    EXPECT_GE(as_int(lines[1]), 1950) << key;
  }
}

// Four seconds of 320x240 pictures that carry their number n in the top-left
// corner (luma 16 + 2n) over a moving texture, a key frame every second, as
// MPEG-1 in a program stream: a container without an index, where a seek
// lands near its target rather than on the key frame before it.
bool make_numbered_film(const std::string& path) {
  return run_command("ffmpeg -v error -y -f lavfi -i \"nullsrc=s=320x240:r=25:d=4,geq=lum='if(lt(X\\,64)*lt(Y\\,48)"
                     "\\,16+N*2\\,mod(X*3+Y*5+N*9\\,200)+16)':cb=128:cr=128\" -f lavfi -i sine=duration=4 "
                     "-c:v mpeg1video -g 25 -q:v 4 -c:a mp2 '" + path + "'")
             .exit_status == 0;
}

int picture_number(const std::string& png_path) { return (pixel(png_path, 10, 10).green * 219 + 255) / 255 / 2; }

TEST(Movie, ranges_and_loop_passes_show_their_first_pictures_from_any_start) {
  TempDirectory game;
  ASSERT_TRUE(make_numbered_film(game.make_directory("movie") + "/numbered.mpg"));
  GameFiles files;
  files.environment = kScreen;
  // Ranges from between key frames (1.5 s) and just after the last one
  // (3.04 s), then the film looping; each start's script time is printed.
  files.scripts.push_back(
      {"scenario/start.tvo",
       start_script(print(kNow, {}) + call("movie_play_range", {"'numbered.mpg'", "1500", "2500"}) +
                    call("movie_wait", {"0"}) + call("movie_stop", {}) + print(kNow, {}) +
                    call("movie_play_range", {"'numbered.mpg'", "3040", "3800"}) + call("movie_wait", {"0"}) +
                    call("movie_stop", {}) + print(kNow, {}) + call("movie_play_loop", {"'numbered.mpg'"}) +
                    call("0xCF35F0E3", {"4400"}) + call("movie_stop", {}))});
  write_game(game, files);
  // Screenshots 300 ms into each range, about 200 ms into the loop's first
  // pass and into its second, 4 s later. Replayed times count from the
  // first cycle of the frame loop, when the script starts; the ranges last
  // 1 s and 0.76 s.
  const int kShots[] = {300, 1300, 2000, 6000};
  std::string replay;
  for (int at : kShots) replay += std::to_string(at) + " screenshot " + game.at(std::to_string(at) + ".png") + "\n";
  game.write("input.txt", replay);
  ProcessResult run = run_tavelo(game, "--input '" + game.at("input.txt") + "'");
  ASSERT_EQ(run.exit_status, 0) << run.output;
  std::vector<uint8_t> log = read_bytes(game.at("debugout.log"));
  std::vector<std::string> lines = log_messages(std::string(log.begin(), log.end()));
  ASSERT_EQ(lines.size(), 3u) << ::testing::PrintToString(lines);
  // 25 pictures a second: the first range starts with picture 37, the
  // second with picture 76, each pass of the loop with picture 0.
  const int script_start = as_int(lines[0]);
  const int starts[] = {script_start, as_int(lines[1]), as_int(lines[2]), as_int(lines[2]) + 4000};
  const int first_pictures[] = {37, 76, 0, 0};
  for (size_t i = 0; i < std::size(kShots); ++i) {
    int into = script_start + kShots[i] - starts[i];
    ASSERT_GE(into, 100) << i << ::testing::PrintToString(lines);
    ASSERT_LE(into, 500) << i << ::testing::PrintToString(lines);
    EXPECT_NEAR(picture_number(game.at(std::to_string(kShots[i]) + ".png")), first_pictures[i] + into / 40, 3) << i;
  }
}

TEST(Movie, a_movie_that_never_returned_keeps_movies_off) {
  MovieGame game;
  game.script(call("movie_play", {"'film.avi'"}) + print("is_movie_play", {}));
  RunHooks hooks;
  hooks.before = [](TestEngine& test) {
    (void)resources::write_user_setting(test.engine.resources, resources::UserSetting::AbnormalMovieTerminateFlg, 1);
  };
  GameRun run = run_game(game.directory, {}, {}, hooks);
  EXPECT_EQ(log_messages(run.log), std::vector<std::string>{"0 "});
}

}  // namespace
}  // namespace tavelo::testing
