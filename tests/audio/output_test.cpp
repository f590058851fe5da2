// Streams from request to mix: a simulated clock runs a pass every 100 ms
// and renders the mix in 10 ms pieces, as a headless run does, and the tests
// look at statuses and at the samples that come out.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>

#include "audio/output.h"
#include "tests/audio/audio_test_support.h"

namespace tavelo {
namespace {

using audio::Looping;
using audio::StreamStatus;
using testing::TempDirectory;

constexpr int kRate = 44100;

// Stereo samples i = 0 .. frames-1 with left = base + i % 1000 and right its
// negative, so no sample is 0 and every position is recognisable.
std::vector<int16_t> ramp(int frames, int base) {
  std::vector<int16_t> samples;
  for (int i = 0; i < frames; ++i) {
    samples.push_back(int16_t(base + i % 1000));
    samples.push_back(int16_t(-(base + i % 1000)));
  }
  return samples;
}

struct Rig {
  TempDirectory directory;
  audio::OutputState output;
  uint32_t now = 0;
  std::vector<int16_t> mixed;  // everything rendered so far

  explicit Rig(std::optional<audio::DeviceFormat> device = audio::kDeviceFormats[0]) {
    output.hooks.open_file = [this](std::string_view name) {
      return platform::File::open(directory.at(name), platform::OpenMode::Read);
    };
    output.hooks.open_device = [device](std::span<const audio::DeviceFormat>) { return device; };
  }
  void write(const std::string& name, const std::vector<uint8_t>& bytes) { directory.write(name, bytes); }

  // Moves the clock on by ms: a pass at every multiple of 100 ms (unless
  // passes are held back, as by a busy machine), and 10 ms of mix after it.
  void advance(uint32_t ms, bool passes = true) {
    audio::DeviceFormat format = audio::device_format(output);
    for (uint32_t end = now + ms; now < end; now += 10) {
      if (passes && now % 100 == 0) audio::run_pass(output, now);
      std::vector<int16_t> piece(size_t(format.sample_rate / 100 * format.channels));
      audio::render_mix(output, piece);
      mixed.insert(mixed.end(), piece.begin(), piece.end());
    }
  }
  audio::StreamView view(int32_t id) { return audio::inspect_stream(output, id).value_or(audio::StreamView{}); }
};

TEST(Output, PlayOnceStatusLifeAndExactMix) {
  Rig rig;
  std::vector<int16_t> samples = ramp(kRate, 100);  // 1 s
  rig.write("once.wav", testing::make_pcm16(2, kRate, samples));
  int32_t id = audio::play_stream(rig.output, "once.wav", "", 1000, Looping::Once);
  ASSERT_GT(id, 0);
  EXPECT_EQ(audio::stream_status(rig.output, id), StreamStatus::Playing);
  rig.advance(900);
  EXPECT_EQ(audio::stream_status(rig.output, id), StreamStatus::Playing);
  rig.advance(200);
  // Gone once its last data has played (at 1 s) and the next pass ran.
  EXPECT_EQ(audio::stream_status(rig.output, id), StreamStatus::Gone);
  EXPECT_FALSE(audio::inspect_stream(rig.output, id));
  // Full volume, no pan, device rate: the mix is the file, then silence.
  ASSERT_EQ(rig.mixed.size(), size_t(2 * kRate * 11 / 10));
  EXPECT_TRUE(std::equal(samples.begin(), samples.end(), rig.mixed.begin()));
  EXPECT_TRUE(std::all_of(rig.mixed.begin() + samples.size(), rig.mixed.end(), [](int16_t s) { return s == 0; }));
  EXPECT_TRUE(audio::take_reports(rig.output).empty());
}

TEST(Output, LoopWrapsAndReportsEndedAfterFirstPass) {
  Rig rig;
  const int frames = kRate * 3 / 10;  // 0.3 s, shorter than one ring
  std::vector<int16_t> samples = ramp(frames, 50);
  rig.write("loop.wav", testing::make_pcm16(2, kRate, samples));
  int32_t id = audio::play_stream(rig.output, "loop.wav", "", 1000, Looping::Loop);
  rig.advance(200);
  EXPECT_EQ(audio::stream_status(rig.output, id), StreamStatus::Playing);
  rig.advance(300);
  EXPECT_EQ(audio::stream_status(rig.output, id), StreamStatus::Ended);
  // Cleared, it reports the end of the next time through again.
  // Cleared, it reports the end of a later time through again: the first
  // wrap written from now on, which plays some 1.2 s later.
  audio::clear_stream_ended(rig.output, id);
  rig.advance(100);
  EXPECT_EQ(audio::stream_status(rig.output, id), StreamStatus::Playing);
  rig.advance(1600);
  EXPECT_EQ(audio::stream_status(rig.output, id), StreamStatus::Ended);
  for (size_t i = 0; i < rig.mixed.size(); ++i) ASSERT_EQ(rig.mixed[i], samples[i % samples.size()]) << i;
}

TEST(Output, MixerWaitsWhenPassesFallBehind) {
  Rig rig;
  std::vector<int16_t> samples = ramp(kRate, 100);
  rig.write("tone.wav", testing::make_pcm16(2, kRate, samples));
  int32_t id = audio::play_stream(rig.output, "tone.wav", "", 1000, Looping::Once);
  rig.advance(10);
  // No pass for 390 ms: the 200 ms converted at the first one play, then
  // the stream is silent and its play cursor waits.
  rig.advance(390, false);
  EXPECT_EQ(rig.view(id).play_cursor, uint32_t(kRate / 5 * 4));
  rig.advance(200);
  // Once passes run again it goes on from where it stopped, sample for sample.
  const size_t heard = size_t(kRate / 5 * 2), gap = size_t(kRate / 5 * 2);
  ASSERT_EQ(rig.mixed.size(), size_t(kRate * 3 / 5 * 2));
  EXPECT_TRUE(std::equal(samples.begin(), samples.begin() + heard, rig.mixed.begin()));
  EXPECT_TRUE(std::all_of(rig.mixed.begin() + heard, rig.mixed.begin() + heard + gap, [](int16_t s) { return s == 0; }));
  EXPECT_TRUE(std::equal(rig.mixed.begin() + heard + gap, rig.mixed.end(), samples.begin() + heard));
}

TEST(Output, ReplaceSwitchesAtTheEndWithoutAGap) {
  Rig rig;
  std::vector<int16_t> first = ramp(kRate, 100);
  std::vector<int16_t> second = ramp(kRate / 5, 2000);
  rig.write("a.wav", testing::make_pcm16(2, kRate, first));
  rig.write("b.wav", testing::make_pcm16(2, kRate, second));
  int32_t id = audio::play_stream(rig.output, "a.wav", "", 1000, Looping::Once);
  rig.advance(100);
  audio::replace_stream(rig.output, id, "b.wav", "", Looping::Once);
  rig.advance(800);
  // Ended when the first file has played out, gone after the second.
  EXPECT_EQ(audio::stream_status(rig.output, id), StreamStatus::Playing);
  rig.advance(200);
  EXPECT_EQ(audio::stream_status(rig.output, id), StreamStatus::Ended);
  rig.advance(200);
  EXPECT_EQ(audio::stream_status(rig.output, id), StreamStatus::Gone);
  std::vector<int16_t> expected = first;
  expected.insert(expected.end(), second.begin(), second.end());
  expected.resize(rig.mixed.size(), 0);
  EXPECT_EQ(rig.mixed, expected);
}

TEST(Output, LaterFileInAnotherFormatIsConverted) {
  Rig rig;
  std::vector<int16_t> first = ramp(kRate / 5, 100);
  rig.write("a.wav", testing::make_pcm16(2, kRate, first));
  // 0.5 s of a constant at 22.05 kHz mono: should last 0.5 s in the stereo ring.
  rig.write("b.wav", testing::make_pcm16(1, kRate / 2, std::vector<int16_t>(kRate / 4, 3000)));
  int32_t id = audio::play_stream(rig.output, "a.wav", "", 1000, Looping::Once);
  audio::replace_stream(rig.output, id, "b.wav", "", Looping::Once);
  rig.advance(1000);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), rig.mixed.begin()));
  // Well inside the second file (away from the resampler's edges): both sides at the constant.
  for (size_t frame = first.size() / 2 + 1000; frame < first.size() / 2 + kRate / 2 - 1000; ++frame) {
    ASSERT_NEAR(rig.mixed[2 * frame], 3000, 2) << frame;
    ASSERT_NEAR(rig.mixed[2 * frame + 1], 3000, 2) << frame;
  }
  size_t after = first.size() + kRate + 2000;
  EXPECT_TRUE(std::all_of(rig.mixed.begin() + after, rig.mixed.end(), [](int16_t s) { return s == 0; }));
}

TEST(Output, LoopPartFollowsTheFirstFile) {
  Rig rig;
  std::vector<int16_t> intro = ramp(kRate / 5, 100);
  std::vector<int16_t> body = ramp(kRate / 10, 3000);
  rig.write("intro.wav", testing::make_pcm16(2, kRate, intro));
  rig.write("body.wav", testing::make_pcm16(2, kRate, body));
  int32_t id = audio::play_stream(rig.output, "intro.wav", "body.wav", 1000, Looping::Loop);
  rig.advance(800);
  EXPECT_TRUE(rig.view(id).in_loop_part);
  EXPECT_TRUE(std::equal(intro.begin(), intro.end(), rig.mixed.begin()));
  for (size_t i = intro.size(); i < rig.mixed.size(); ++i) {
    ASSERT_EQ(rig.mixed[i], body[(i - intro.size()) % body.size()]) << i;
  }
}

TEST(Output, RateConversionFrequencyAndPan) {
  Rig rig;
  // 441 Hz mono sine at 22.05 kHz, 2 s.
  std::vector<int16_t> sine(kRate);
  for (size_t i = 0; i < sine.size(); ++i) {
    sine[i] = int16_t(10000 * std::sin(2 * std::numbers::pi * 441 * double(i) / 22050));
  }
  rig.write("sine.wav", testing::make_pcm16(1, kRate / 2, sine));
  audio::set_pan_preset(rig.output, 10000);  // right side only
  int32_t id = audio::play_stream(rig.output, "sine.wav", "", 1000, Looping::Loop);
  rig.advance(1000);
  int crossings = 0;
  for (size_t frame = 1; frame < rig.mixed.size() / 2; ++frame) {
    ASSERT_EQ(rig.mixed[2 * frame], 0);  // left
    if (rig.mixed[2 * frame - 1] < 0 && rig.mixed[2 * frame + 1] >= 0) ++crossings;
  }
  EXPECT_NEAR(crossings, 441, 2);
  // 1 s of 22.05 kHz 16-bit mono, give or take the resampler's look-ahead.
  EXPECT_NEAR(double(rig.view(id).play_cursor), 44100.0, 200.0);

  // Twice the frequency: the ring is consumed twice as fast, the pitch doubles.
  // The pass at 1 000 ms applies the requests; the mixer's frames converted
  // before it (100 ms of them, topped up to 200 ms every pass) still play at
  // the old rate, until 1 100 ms.
  audio::set_stream_frequency(rig.output, id, 44100);
  audio::set_stream_pan(rig.output, id, 0);
  rig.advance(100);
  uint32_t before = rig.view(id).play_cursor;
  rig.mixed.clear();
  rig.advance(400);
  uint32_t consumed = (rig.view(id).play_cursor + audio::kRingBytes - before) % audio::kRingBytes;
  EXPECT_NEAR(double(consumed), 2.0 * 0.4 * 44100, 64.0);
  crossings = 0;
  for (size_t frame = 1; frame < rig.mixed.size() / 2; ++frame) {
    ASSERT_EQ(rig.mixed[2 * frame], rig.mixed[2 * frame + 1]);  // centred
    if (rig.mixed[2 * frame - 2] < 0 && rig.mixed[2 * frame] >= 0) ++crossings;
  }
  EXPECT_NEAR(crossings, 2 * 441 * 0.4, 3);
}

TEST(Output, VolumeRequestsReachTheBuffer) {
  Rig rig;
  rig.write("tone.wav", testing::make_pcm16(2, kRate, ramp(kRate * 2, 100)));
  int32_t id = audio::play_stream(rig.output, "tone.wav", "", 500, Looping::Loop);
  rig.advance(100);
  EXPECT_EQ(rig.view(id).attenuation, -602);
  // The same value again reaches the device one step lower, then as asked.
  for (int32_t expected : {-603, -602, -603}) {
    audio::set_stream_volume(rig.output, id, 500);
    rig.advance(100);
    EXPECT_EQ(rig.view(id).attenuation, expected);
  }
  // A fade of 0 ms runs over 1 ms: asked 1 ms before a pass, it is done there.
  audio::fade_stream(rig.output, id, 0, 0, rig.now - 1);
  rig.advance(100);
  EXPECT_EQ(rig.view(id).attenuation, -10000);
  EXPECT_EQ(rig.view(id).volume, 0);
  rig.mixed.clear();
  rig.advance(100);
  EXPECT_TRUE(std::all_of(rig.mixed.begin(), rig.mixed.end(), [](int16_t s) { return s == 0; }));
  // A fade out runs its course, then the stream goes.
  audio::set_stream_volume(rig.output, id, 1000);
  audio::fade_out_stream(rig.output, id, 0, 400, rig.now);
  rig.advance(300);
  EXPECT_EQ(rig.view(id).volume, 500);
  EXPECT_EQ(audio::stream_status(rig.output, id), StreamStatus::Playing);
  rig.advance(200);
  EXPECT_EQ(audio::stream_status(rig.output, id), StreamStatus::Gone);
}

TEST(Output, PauseHoldsThePlayCursor) {
  Rig rig;
  rig.write("tone.wav", testing::make_pcm16(2, kRate, ramp(kRate * 2, 100)));
  int32_t id = audio::play_stream(rig.output, "tone.wav", "", 1000, Looping::Loop);
  rig.advance(100);
  audio::pause_stream(rig.output, id);
  rig.advance(100);
  uint32_t paused_at = rig.view(id).play_cursor;
  rig.advance(300);
  EXPECT_EQ(rig.view(id).play_cursor, paused_at);
  EXPECT_FALSE(rig.view(id).playing);
  audio::resume_stream(rig.output, id);
  rig.advance(100);
  EXPECT_TRUE(rig.view(id).playing);
  EXPECT_EQ(rig.view(id).play_cursor, paused_at + 4 * 4410);
}

// What a page's audio output follows: it may stop while nothing can sound.
TEST(Output, SoundToPlayFollowsStreamsPausesAndTheMovie) {
  Rig rig;
  EXPECT_FALSE(audio::has_sound_to_play(rig.output));
  rig.write("short.wav", testing::make_pcm16(2, kRate, ramp(kRate / 10, 100)));  // 0.1 s
  rig.write("tone.wav", testing::make_pcm16(2, kRate, ramp(kRate, 100)));
  // Asked for, before any pass opened it.
  audio::play_stream(rig.output, "short.wav", "", 1000, Looping::Once);
  EXPECT_TRUE(audio::has_sound_to_play(rig.output));
  rig.advance(300);
  EXPECT_FALSE(audio::has_sound_to_play(rig.output));
  int32_t loop = audio::play_stream(rig.output, "tone.wav", "", 1000, Looping::Loop);
  rig.advance(100);
  audio::pause_stream(rig.output, loop);
  EXPECT_TRUE(audio::has_sound_to_play(rig.output));  // plays on until the pass pauses it
  rig.advance(100);
  EXPECT_FALSE(audio::has_sound_to_play(rig.output));
  audio::resume_stream(rig.output, loop);
  EXPECT_TRUE(audio::has_sound_to_play(rig.output));
  audio::stop_stream(rig.output, loop);
  rig.advance(100);
  EXPECT_FALSE(audio::has_sound_to_play(rig.output));
  ASSERT_TRUE(audio::start_movie_stream(rig.output));
  EXPECT_TRUE(audio::has_sound_to_play(rig.output));
  audio::stop_movie_stream(rig.output);
  EXPECT_FALSE(audio::has_sound_to_play(rig.output));
}

TEST(Output, FailuresAreReportedNotShown) {
  {
    Rig rig;
    int32_t id = audio::play_stream(rig.output, "missing.wav", "", 1000, Looping::Once);
    EXPECT_EQ(audio::stream_status(rig.output, id), StreamStatus::Playing);
    rig.advance(100);
    EXPECT_EQ(audio::stream_status(rig.output, id), StreamStatus::Gone);
    std::vector<audio::OutputReport> reports = audio::take_reports(rig.output);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].kind, audio::OutputReport::Kind::FileMissing);
    EXPECT_EQ(reports[0].name, "missing.wav");
  }
  {
    Rig rig(std::nullopt);  // no device
    EXPECT_EQ(audio::play_stream(rig.output, "a.wav", "", 1000, Looping::Once), 0);
    EXPECT_EQ(audio::play_stream(rig.output, "a.wav", "", 1000, Looping::Once), 0);
    std::vector<audio::OutputReport> reports = audio::take_reports(rig.output);
    ASSERT_EQ(reports.size(), 1u);  // once per run
    EXPECT_EQ(reports[0].kind, audio::OutputReport::Kind::DeviceFailed);
  }
}

TEST(Output, StopAllSilencesEverything) {
  Rig rig(audio::kDeviceFormats[2]);  // the mono fallback
  rig.write("tone.wav", testing::make_pcm16(2, kRate, ramp(kRate, 100)));
  int32_t first = audio::play_stream(rig.output, "tone.wav", "", 1000, Looping::Loop);
  int32_t second = audio::play_stream(rig.output, "tone.wav", "", 1000, Looping::Loop);
  rig.advance(200);
  // Stereo to mono averages the sides, which cancel in this file.
  EXPECT_TRUE(std::all_of(rig.mixed.begin(), rig.mixed.end(), [](int16_t s) { return s == 0; }));
  EXPECT_GT(rig.view(first).play_cursor, 0u);
  audio::stop_all_streams(rig.output);
  EXPECT_EQ(audio::stream_status(rig.output, first), StreamStatus::Gone);
  EXPECT_EQ(audio::stream_status(rig.output, second), StreamStatus::Gone);
  EXPECT_FALSE(audio::run_pass(rig.output, rig.now + 1000));
}

TEST(Output, BackgroundThreadStartsStreams) {
  Rig rig;
  rig.write("tone.wav", testing::make_pcm16(2, kRate, ramp(kRate, 100)));
  auto start = std::chrono::steady_clock::now();
  rig.output.driver = audio::PassDriver::BackgroundThread;
  rig.output.hooks.clock_ms = [start] {
    return uint32_t(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
  };
  rig.output.hooks.sleep_ms = [](uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  int32_t id = audio::play_stream(rig.output, "tone.wav", "", 1000, Looping::Loop);
  for (int i = 0; i < 200 && !rig.view(id).started; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(rig.view(id).started);
  // The state's destruction stops and joins the thread.
}

}  // namespace
}  // namespace tavelo
