// Audio system calls driven by real scripts on the headless engine: the
// statuses and waits scripts rely on, their script times, the names calls
// give back, the families' missing-file messages, pauses and a damaged Ogg
// file played looping; and what is heard, read from the WAV that
// `tavelo --headless --audio-out` writes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "resources/byte_reader.h"
#include "tests/audio/audio_test_support.h"
#include "tests/support/script_harness.h"

namespace tavelo::testing {
namespace {

constexpr int kRate = 44100;

// A 16-bit stereo sine at the device rate, the same on both sides. (The
// ring keeps 1.2 s of such data written ahead of what is heard.)
std::vector<uint8_t> sine_wav(double hz, double seconds, double amplitude = 16000) {
  std::vector<int16_t> samples;
  for (size_t i = 0; i < size_t(seconds * kRate); ++i) {
    int16_t sample = int16_t(std::lrint(amplitude * std::sin(2 * std::numbers::pi * hz * double(i) / kRate)));
    samples.insert(samples.end(), {sample, sample});
  }
  return make_pcm16(2, kRate, samples);
}

// A game whose start script runs body; sounds go to its "stream" directory.
struct AudioGame {
  TempDirectory directory;
  void sound(const std::string& name, const std::vector<uint8_t>& bytes) { directory.write("stream/" + name, bytes); }
  void script(std::string_view body) {
    GameFiles files;
    files.scripts.push_back({"scenario/start.tvo", start_script(body)});
    files.environment += "MUSICVOL 1000\nSOUNDVOL 1000\nVOICEVOL 1000\n";
    write_game(directory, files);
  }
};

TEST(Audio, statuses_waits_and_names) {
  AudioGame game;
  game.sound("once.wav", sine_wav(500, 0.5));
  game.sound("loop.wav", sine_wav(500, 0.3));
  game.sound("voice.wav", sine_wav(300, 0.4));
  game.script(R"(
    ; A sound played once: 1 at once, 0 after the wait, which lasts about its length.
    push_string "once"
    syscall_discard sound 1
    syscall sound_stat 0
    PRINT
    syscall 0x6584F13E 0
    set_int_pop global int "@t0@GLOBAL"
    syscall_discard sound_wait 0
    syscall 0x6584F13E 0
    load global int "@t0@GLOBAL"
    sub_int
    PRINT
    syscall sound_stat 0
    PRINT
    ; Looping music reports -1 once it has played through, and its wait ends.
    push_int 1
    push_string "loop"
    syscall_discard music 2
    push_int 600
    syscall_discard 0xCF35F0E3 1
    syscall music_stat 0
    PRINT
    syscall_discard music_wait 0
    ; A numbered voice channel's wait.
    push_string "voice"
    push_int 3
    syscall_discard voice_ch 2
    syscall 0x6584F13E 0
    set_int_pop global int "@t0@GLOBAL"
    push_int 3
    syscall_discard voice_ch_wait 1
    syscall 0x6584F13E 0
    load global int "@t0@GLOBAL"
    sub_int
    PRINT
    ; Names as the calls give them back.
    push_string "dir\\Voice.WAV"
    syscall_discard voice_play 1
    syscall voice_name 0
    PRINT
    push_string "once"
    syscall_discard sound2 1
    syscall sound2_name 0
    PRINT
    syscall_discard sound2_stop 0
    syscall sound2_name 0
    PRINT
    push_string "sub\\voice"
    push_int 5
    syscall_discard voice_ch 2
    push_int 5
    syscall voice_ch_get_fn 1
    PRINT
    push_string "x\\loop.ogg"
    syscall audio_file_exists 1
    push_string "nothere"
    syscall audio_file_exists 1
    PRINT 2
  )");
  std::vector<std::string> lines = log_messages(run_game(game.directory).log);
  ASSERT_EQ(lines.size(), 10u) << ::testing::PrintToString(lines);
  EXPECT_EQ(lines[0], "1 ");
  // Started at the next pass (at most 100 ms on), gone at the first pass
  // after its last sample played, seen by the next 10 ms poll.
  int once_wait = std::stoi(lines[1]);
  EXPECT_GE(once_wait, 500);
  EXPECT_LE(once_wait, 720);
  EXPECT_EQ(lines[2], "0 ");
  EXPECT_EQ(lines[3], "-1 ");
  int voice_wait = std::stoi(lines[4]);
  EXPECT_GE(voice_wait, 400);
  EXPECT_LE(voice_wait, 620);
  EXPECT_EQ(lines[5], "dir\\Voice.WAV ");
  EXPECT_EQ(lines[6], "once.wav ");
  EXPECT_EQ(lines[7], " ");
  EXPECT_EQ(lines[8], "sub\\voice ");
  EXPECT_EQ(lines[9], "0 1 ");  // argument 1 (the top) first
}

TEST(Audio, missing_files_and_bad_channels_are_reported_by_family) {
  struct Case {
    std::string code;
    std::string message;
  };
  const Case cases[] = {
      {"push_string \"nothere\"\n syscall_discard music 1", "music : ファイル[nothere]が存在しません"},
      {"push_string \"gone\"\n push_string \"tone\"\n syscall_discard music_loop 2", "music : ファイル[gone]が存在しません"},
      {"push_string \"nothere\"\n syscall_discard music_replace 1", "music_replace : ファイル[nothere]が存在しません"},
      {"push_string \"bgm\\\\nothere\"\n syscall_discard voice 1", "voice : ファイル[bgm\\nothere]が存在しません"},
      {"push_string \"nothere\"\n syscall_discard sound3 1", "sound3 : ファイル[nothere]が存在しません"},
      {"push_string \"nothere\"\n push_int 1\n syscall_discard voice_ch 2", "voice_ch : ファイル[nothere]が存在しません"},
      {"push_string \"nothere\"\n push_int 2\n syscall_discard sound_ch 2", "sound_ch : ファイル[nothere]が存在しません"},
      {"push_string \"tone\"\n push_int 20\n syscall_discard voice_ch 2", "voice_ch : chは0～19です"},
      {"push_int 0\n push_int 99\n syscall_discard voice_ch_pan 2", "voice_ch_pan : chは0～19です"},
  };
  std::string body;
  for (const Case& test : cases) body += "    " + test.code + "\n";
  AudioGame game;
  game.sound("tone.wav", sine_wav(500, 0.1));
  game.script(body);
  std::vector<std::string> lines = log_messages(run_game(game.directory).log);
  ASSERT_EQ(lines.size(), std::size(cases)) << ::testing::PrintToString(lines);
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_NE(lines[i].find(cases[i].message), std::string::npos) << lines[i];
  }
}

// ---- what is heard

struct Wave {
  int32_t rate = 0;
  int32_t channels = 0;
  int32_t bits = 0;
  std::vector<int16_t> samples;  // interleaved
  size_t frames() const { return channels ? samples.size() / size_t(channels) : 0; }
};

Wave read_wave(const std::string& path) {
  std::vector<uint8_t> bytes = read_bytes(path);
  resources::ByteReader reader(bytes);
  Wave wave;
  reader.skip(22);
  wave.channels = reader.u16le();
  wave.rate = int32_t(reader.u32le());
  reader.skip(6);
  wave.bits = reader.u16le();
  reader.skip(4);  // "data"
  uint32_t size = reader.u32le();
  std::span<const uint8_t> data = reader.take(size);
  if (!reader.ok) return {};
  wave.samples.resize(data.size() / 2);
  for (size_t i = 0; i < wave.samples.size(); ++i) wave.samples[i] = int16_t(data[2 * i] | data[2 * i + 1] << 8);
  return wave;
}

// One side of a stretch of the output, from second `from` to second `to`.
struct Stretch {
  double rms = 0;
  double peak = 0;
  double hz = 0;  // from the rising zero crossings
};

Stretch measure(const Wave& wave, int side, double from, double to) {
  size_t first = size_t(from * kRate), last = std::min(size_t(to * kRate), wave.frames());
  Stretch stretch;
  double sum = 0;
  int rising = 0;
  for (size_t frame = first; frame < last; ++frame) {
    double sample = wave.samples[frame * 2 + size_t(side)];
    sum += sample * sample;
    stretch.peak = std::max(stretch.peak, std::abs(sample));
    if (frame > first && wave.samples[(frame - 1) * 2 + size_t(side)] < 0 && sample >= 0) ++rising;
  }
  if (last > first) {
    stretch.rms = std::sqrt(sum / double(last - first));
    stretch.hz = rising / (double(last - first) / kRate);
  }
  return stretch;
}

// The first sample of the side that is not silent, in seconds; -1 for none.
double first_sound(const Wave& wave, int side) {
  for (size_t frame = 0; frame < wave.frames(); ++frame) {
    if (wave.samples[frame * 2 + size_t(side)] != 0) return double(frame) / kRate;
  }
  return -1;
}

// The first moment after `from` where the side's 10 ms stretch is a sine of
// about hz.
double onset(const Wave& wave, int side, double from, double hz) {
  for (double at = from; at + 0.01 < double(wave.frames()) / kRate; at += 0.001) {
    Stretch stretch = measure(wave, side, at, at + 0.01);
    if (stretch.rms > 5000 && std::abs(stretch.hz - hz) < 60) return at;
  }
  return -1;
}

TEST(Audio, the_written_output_is_what_the_channels_played) {
  AudioGame game;
  game.sound("intro.wav", sine_wav(440, 0.5));
  game.sound("body.wav", sine_wav(660, 0.25));
  game.sound("tail.wav", sine_wav(880, 0.5));
  game.sound("beep.ogg", {});  // the .wav wins over the .ogg
  game.sound("beep.wav", sine_wav(1000, 1.0));
  game.script(R"(
    push_string "body"
    push_string "intro"
    syscall_discard music_loop 2
    push_int 1300
    syscall_discard 0xCF35F0E3 1
    push_int 0
    push_string "tail"
    syscall_discard music_replace 2
    push_int 2700
    syscall_discard 0xCF35F0E3 1
    push_int 10000
    syscall_discard sound_pan 1
    push_int 1
    push_string "beep.ogg"
    syscall_discard sound 2
    push_int 600
    syscall_discard 0xCF35F0E3 1
    push_int 1000
    push_int 0
    syscall_discard sound_fade 2
    push_int 1300
    syscall_discard 0xCF35F0E3 1
  )");
  std::string out = game.directory.at("out.wav");
  ProcessResult run = run_tavelo(game.directory, "--audio-out '" + out + "'");
  ASSERT_EQ(run.exit_status, 0) << run.output;
  Wave wave = read_wave(out);
  ASSERT_EQ(wave.rate, 44100);
  ASSERT_EQ(wave.channels, 2);
  ASSERT_EQ(wave.bits, 16);
  // From start-up to the end of the script, silence included.
  EXPECT_NEAR(double(wave.frames()) / kRate, 5.9, 0.05);

  const double full = 16000 / std::sqrt(2.0);  // the rms of the files' sines
  // The opening starts at the first pass and is followed by the loop part;
  // the loop part repeats, then the replacement follows at the end of one
  // of its passes: no stretch of 10 ms on the way is quieter than the sines.
  double start = first_sound(wave, 0);
  ASSERT_GE(start, 0);
  EXPECT_LE(start, 0.11);
  EXPECT_NEAR(measure(wave, 0, start + 0.05, start + 0.45).hz, 440, 3);
  EXPECT_NEAR(measure(wave, 1, start + 0.55, start + 0.95).hz, 660, 3);
  double tail = onset(wave, 0, start + 0.5, 880);
  // Replaced at 1.3 s: the second or so of data written ahead plays first.
  ASSERT_GT(tail, 2.1);
  ASSERT_LT(tail, 2.9);
  double body_passes = (tail - start - 0.5) / 0.25;
  EXPECT_NEAR(body_passes, std::round(body_passes), 0.04) << tail;
  for (double at = start; at < tail + 0.49; at += 0.01) {
    ASSERT_GT(measure(wave, 0, at, at + 0.01).rms, 0.9 * full) << at;
  }
  EXPECT_NEAR(measure(wave, 0, tail + 0.05, tail + 0.45).hz, 880, 3);
  // Played once: silence after it.
  EXPECT_EQ(measure(wave, 0, tail + 0.51, 4.0).peak, 0);

  // The effect, panned to the right only, starts at the pass after its call.
  double beep = onset(wave, 1, 4.0, 1000);
  EXPECT_GE(beep, 4.0);
  EXPECT_LE(beep, 4.12);
  EXPECT_EQ(measure(wave, 0, 4.0, 5.9).peak, 0);
  EXPECT_NEAR(measure(wave, 1, beep + 0.1, beep + 0.4).hz, 1000, 3);
  EXPECT_NEAR(measure(wave, 1, beep + 0.1, beep + 0.4).rms, full, 0.02 * full);
  // Its fade to 0 over 1 s: volume is linear in amplitude, and the passes
  // (every 100 ms) step it down.
  for (double fraction : {0.25, 0.5, 0.75}) {
    double at = 4.6 + fraction;
    EXPECT_NEAR(measure(wave, 1, at - 0.01, at + 0.01).rms / full, 1 - fraction, 0.15) << at;
  }
  EXPECT_EQ(measure(wave, 1, 5.75, 5.9).peak, 0);
}

TEST(Audio, a_paused_sound_plays_what_it_had_left_after_the_resume) {
  // Two seconds played once: paused after one, resumed a second later, it
  // reports playing until its second half has played, then goes.
  AudioGame game;
  game.sound("two.wav", sine_wav(500, 2.0));
  game.script(R"(
    push_int 0
    push_string "two"
    syscall_discard music 2
    push_int 1000
    syscall_discard 0xCF35F0E3 1
    syscall_discard music_pause 0
    push_int 1000
    syscall_discard 0xCF35F0E3 1
    syscall music_stat 0
    PRINT
    syscall_discard music_resume 0
    push_int 800
    syscall_discard 0xCF35F0E3 1
    syscall music_stat 0
    PRINT
    push_int 600
    syscall_discard 0xCF35F0E3 1
    syscall music_stat 0
    PRINT
  )");
  std::string out = game.directory.at("out.wav");
  ProcessResult run = run_tavelo(game.directory, "--audio-out '" + out + "'");
  ASSERT_EQ(run.exit_status, 0) << run.output;
  std::vector<uint8_t> log = read_bytes(game.directory.at("debugout.log"));
  EXPECT_EQ(log_messages(std::string(log.begin(), log.end())), (std::vector<std::string>{"1 ", "1 ", "0 "}));
  Wave wave = read_wave(out);
  double start = first_sound(wave, 0);
  ASSERT_GE(start, 0);
  // Heard for a second, silent for about one (the passes, 100 ms apart, carry
  // out the requests), then heard for the second that was left.
  double heard = 0;
  for (double at = start; at < 3.4; at += 0.01) heard += measure(wave, 0, at, at + 0.01).rms > 5000 ? 0.01 : 0;
  EXPECT_NEAR(heard, 2.0, 0.05);
  EXPECT_EQ(measure(wave, 0, 1.25, 1.95).peak, 0);
  EXPECT_NEAR(measure(wave, 0, 2.2, 2.9).hz, 500, 3);
}

TEST(Audio, a_looping_ogg_whose_decoding_fails_stops_instead_of_rewinding) {
  // A setup header with one byte changed: the library opens it, reports an
  // error at the first read, and a seek back then read would crash it.
  AudioGame game;
  game.sound("x.ogg", read_bytes(std::string(TAVELO_SOURCE_DIR) +
                                 "/fuzz/corpus/sound_ogg_fuzz/regression_ogg_setup_1byte_loop_fpe.ogg"));
  game.script(R"(
    push_int 1
    push_string "x"
    syscall_discard sound2 2
    push_int 500
    syscall_discard 0xCF35F0E3 1
    syscall sound2_stat 0
    PRINT
  )");
  ProcessResult run = run_tavelo(game.directory);
  ASSERT_EQ(run.exit_status, 0) << run.output;
  std::vector<uint8_t> log = read_bytes(game.directory.at("debugout.log"));
  EXPECT_EQ(log_messages(std::string(log.begin(), log.end())), (std::vector<std::string>{"0 "}));
}

}  // namespace
}  // namespace tavelo::testing
