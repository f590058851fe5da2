// The output's three threads at once, as a real run has them: the streaming
// thread opening files through the file layer, a device thread pulling the
// mix, and the script thread sending requests, looking names up and
// registering search entries meanwhile. Run under ThreadSanitizer by
// scripts/test.sh, which then reports any access the locks do not order.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "audio/output.h"
#include "platform/text_encoding.h"
#include "resources/file_lookup.h"
#include "resources/search_list.h"
#include "resources/state.h"
#include "tests/audio/audio_test_support.h"

namespace tavelo {
namespace {

using audio::Looping;

class AcceptAll final : public resources::ScanObserver {
 public:
  bool accept_duplicate(std::string_view, std::string_view, std::string_view) override { return true; }
  bool continue_scan() override { return true; }
};

std::vector<uint8_t> tone(int frames, int channels, int rate) {
  std::vector<int16_t> samples(size_t(frames * channels));
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t((i * 37) % 2000 - 1000);
  return testing::make_pcm16(uint16_t(channels), uint32_t(rate), samples);
}

TEST(OutputThreads, RequestsPassesAndTheMixerRunSideBySide) {
  testing::TempDirectory game;
  game.write("stream/a.wav", tone(44100 / 2, 2, 44100));
  game.write("stream/b.wav", tone(22050 / 3, 1, 22050));
  game.write("stream/c.wav", tone(44100 / 4, 1, 44100));
  std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create("CP932");
  resources::State resources(*encoding, game.path());
  AcceptAll observer;
  ASSERT_EQ(resources::search_entry_add(resources, "stream", resources::SoundOnly::Yes, observer),
            resources::Registration::Directory);

  auto start = std::chrono::steady_clock::now();
  auto clock = [start] {
    return uint32_t(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
  };
  audio::OutputState output;
  output.driver = audio::PassDriver::BackgroundThread;
  output.hooks.open_file = [&resources](std::string_view name) { return resources::find_game_file(resources, name); };
  output.hooks.open_device = [](std::span<const audio::DeviceFormat> formats) { return formats[0]; };
  output.hooks.clock_ms = clock;
  // Passes every 10 ms rather than 100, so a short test sees many of them.
  output.hooks.sleep_ms = [](uint32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(10)); };
  ASSERT_TRUE(audio::ensure_device(output));

  // The device: 256 frames every 5 ms, as an audio callback pulls them.
  std::atomic<bool> stop{false};
  std::atomic<int64_t> loud{0};
  std::thread device([&] {
    std::vector<int16_t> buffer(512);
    while (!stop.load()) {
      audio::render_mix(output, buffer);
      for (int16_t sample : buffer) loud += sample != 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });

  // The script thread: a mix of every request, lookups and a registration.
  const char* names[] = {"a.wav", "b.wav", "c.wav", "missing.wav"};
  std::vector<int32_t> ids;
  for (int round = 0; round < 300; ++round) {
    const char* name = names[round % 4];
    EXPECT_EQ(resources::file_exists(resources, name), round % 4 != 3);
    int32_t id = audio::play_stream(output, name, round % 3 == 0 ? "c.wav" : "", 500 + round,
                                    round % 2 ? Looping::Loop : Looping::Once);
    ids.push_back(id);
    int32_t other = ids[size_t(round / 2)];
    switch (round % 8) {
      case 0: audio::set_stream_volume(output, other, round % 1000); break;
      case 1: audio::fade_stream(output, other, 0, 200, clock()); break;
      case 2: audio::set_stream_pan(output, other, (round * 97) % 20001 - 10000); break;
      case 3: audio::set_stream_frequency(output, other, 11025 + round * 50); break;
      case 4: audio::pause_stream(output, other); break;
      case 5: audio::resume_stream(output, other); break;
      case 6: audio::replace_stream(output, other, "b.wav", "", Looping::Once); break;
      case 7: audio::fade_out_stream(output, other, 0, 50, clock()); break;
    }
    (void)audio::stream_status(output, ids[size_t(round / 3)]);
    (void)audio::take_reports(output);
    if (round % 10 == 9) audio::stop_stream(output, ids[size_t(round - 5)]);
    if (round == 150) {
      game.write("stream/late.wav", tone(4410, 1, 44100));
      resources::search_entry_add(resources, "stream", resources::SoundOnly::Yes, observer);
      EXPECT_TRUE(resources::file_exists(resources, "late.wav"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  audio::stop_all_streams(output);
  stop.store(true);
  device.join();
  EXPECT_GT(loud.load(), 0);
  // The state's destruction stops and joins the streaming thread.
}

}  // namespace
}  // namespace tavelo
