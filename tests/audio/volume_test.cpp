// Volume and pan in hundredths of dB, and the fast-voice filter: pure
// functions checked against values worked out by hand.

#include <gtest/gtest.h>

#include "audio/fast_voice.h"
#include "audio/volume.h"

namespace tavelo {
namespace {

TEST(Volume, MapsToHundredthsOfDecibels) {
  const std::pair<int32_t, int32_t> cases[] = {
      {1000, 0}, {500, -602}, {100, -2000}, {10, -4000}, {1, -6000},
      {0, -10000}, {-7, -10000}, {1500, 0},  // louder than full stays full
  };
  for (auto [volume, attenuation] : cases) EXPECT_EQ(audio::attenuation_of_volume(volume), attenuation) << volume;
}

TEST(Volume, RepeatedValueIsNudged) {
  struct Case {
    int32_t requested, last, sent;
  };
  const Case cases[] = {
      {-602, -500, -602},       // a change goes through
      {-602, -602, -603},       // a repeat one step down
      {-10000, -10000, -9999},  // at the bottom one step up
      {0, 0, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(audio::device_attenuation(c.requested, c.last), c.sent) << c.requested;
}

TEST(Volume, PanAttenuatesTheFarSide) {
  struct Case {
    int32_t attenuation, pan;
    float left, right;
  };
  const Case cases[] = {
      {0, 0, 1.0f, 1.0f},
      {0, 10000, 0.0f, 1.0f},
      {0, -10000, 1.0f, 0.0f},
      {0, 2000, 0.1f, 1.0f},
      {-2000, -2000, 0.1f, 0.01f},
      {-10000, 0, 0.0f, 0.0f},
  };
  for (const Case& c : cases) {
    audio::SideGains gains = audio::side_gains(c.attenuation, c.pan);
    EXPECT_NEAR(gains.left, c.left, 1e-6) << c.attenuation << " " << c.pan;
    EXPECT_NEAR(gains.right, c.right, 1e-6) << c.attenuation << " " << c.pan;
  }
}

TEST(FastVoice, DropsAndKeepsStretchesCutAtFallingCrossings) {
  // 1 024 samples of 100 with two falling crossings in the first window: at
  // 300 (drop 2 000) and 400 (drop 20). The first stretch (0-300) is dropped,
  // the next has no crossing in its window and keeps 256 samples (301-556),
  // then fewer than 512 remain.
  std::vector<int16_t> input(1024, 100);
  input[300] = 1000, input[301] = -1000;
  input[400] = 10, input[401] = -10;
  for (size_t i = 0; i < input.size(); ++i) {
    if (input[i] == 100) input[i] = int16_t(100 + i % 7);
  }
  std::vector<int16_t> output;
  audio::shorten_voice(input, output);
  EXPECT_EQ(output, std::vector<int16_t>(input.begin() + 301, input.begin() + 557));

  // Equal drops: the first wins, so the dropped stretch ends after 300.
  input[400] = 1000, input[401] = -1000;
  audio::shorten_voice(input, output);
  EXPECT_EQ(output.front(), input[301]);

  std::vector<int16_t> short_chunk(511, 5);
  audio::shorten_voice(short_chunk, output);
  EXPECT_EQ(output, short_chunk);
}

}  // namespace
}  // namespace tavelo
