// The channel rules on a headless engine, called directly: which stream a
// call starts and at what volume, the switches and skip levels that hold
// starts back, the names that keep music from restarting, presets, saves,
// loads and resets. The system calls and what is heard are checked by the
// scenario tests (tests/scenario/audio_test.cpp).

#include <gtest/gtest.h>

#include "audio/channels.h"
#include "audio/sound_system.h"
#include "audio/state.h"
#include "resources/save_fields.h"
#include "resources/settings.h"
#include "resources/state.h"
#include "script/game_files.h"
#include "script/state.h"
#include "tests/audio/audio_test_support.h"
#include "tests/support/test_engine.h"

namespace tavelo {
namespace {

using audio::ChannelGroup;
using audio::Looping;
using resources::UserSetting;

constexpr audio::ChannelId kMusic{ChannelGroup::Music, 0};
constexpr audio::ChannelId kVoice{ChannelGroup::Voice, 0};
constexpr audio::ChannelId kSound1{ChannelGroup::Sound, 0};

// A game directory with short sounds in its registered "stream" directory
// and an engine whose sound output runs on the virtual clock.
struct Rig {
  testing::TempDirectory game;
  testing::TestEngine test{game.path()};
  audio::State& audio = test.engine.audio;
  script::Machine& machine = test.engine.script;

  Rig() {
    test.engine.resources.settings.store_directory = game.at("settings");
    machine.debug_mode = true;
    for (const char* name : {"bgm.wav", "other.wav", "voice1.wav", "voice2.wav", "fx.wav"}) {
      game.write(std::string("stream/") + name, testing::make_pcm16(1, 44100, std::vector<int16_t>(13230, 1000)));
    }
    game.write("stream/only.ogg", std::string("found by name; never played here"));
    script::register_search_entry(machine, "stream", resources::SoundOnly::Yes);
    set(UserSetting::MusicVolume, 1000);
    set(UserSetting::VoiceVolume, 1000);
    set(UserSetting::SoundVolume, 1000);
    audio::start_sound(audio, machine);
  }
  void set(UserSetting setting, int32_t value) { (void)resources::write_user_setting(test.engine.resources, setting, value); }
  void advance(uint32_t ms) {
    for (uint32_t i = 0; i < ms; ++i) {
      test.platform.advance_clock(1);
      audio::catch_up_sound(audio, machine);
    }
  }
  audio::StreamView view(int32_t stream) {
    return audio::inspect_stream(audio.output, stream).value_or(audio::StreamView{});
  }
};

TEST(Channels, StreamVolumeIsTheUserVolumeTimesTheScale) {
  struct Case {
    ChannelGroup group;
    UserSetting user;
    int32_t user_volume;
    int32_t scale;
    int32_t volume;       // of the stream, 0-1000
    int32_t attenuation;  // as the device buffer gets it
  };
  const Case cases[] = {
      {ChannelGroup::Music, UserSetting::MusicVolume, 1000, 1000, 1000, 0},
      {ChannelGroup::Music, UserSetting::MusicVolume, 1000, 500, 500, -602},
      {ChannelGroup::Music, UserSetting::MusicVolume, 500, 1000, 500, -602},
      {ChannelGroup::Music, UserSetting::MusicVolume, 1000, 1, 1, -6000},
      {ChannelGroup::Music, UserSetting::MusicVolume, 1000, 0, 0, -10000},
      {ChannelGroup::Music, UserSetting::MusicVolume, 1000, 5000, 1000, 0},  // clamped
      {ChannelGroup::Voice, UserSetting::VoiceVolume, 250, 400, 100, -2000},
      {ChannelGroup::Sound, UserSetting::SoundVolume, 800, 500, 400, -795},
      {ChannelGroup::VoiceChannel, UserSetting::VoiceVolume, 100, 1000, 100, -2000},
      {ChannelGroup::SoundChannel, UserSetting::SoundVolume, 1000, 10, 10, -4000},
  };
  for (const Case& test : cases) {
    Rig rig;
    rig.set(test.user, test.user_volume);
    audio::ChannelId channel{test.group, 0};
    // A scale set with nothing playing applies to the next start.
    audio::set_channel_scale(rig.audio, rig.machine, channel, test.scale);
    switch (test.group) {
      case ChannelGroup::Music: audio::play_music(rig.audio, rig.machine, "bgm", "", Looping::Loop); break;
      case ChannelGroup::Voice: audio::announce_voice(rig.audio, rig.machine, {"voice1", Looping::Loop}); break;
      case ChannelGroup::Sound: audio::play_sound(rig.audio, rig.machine, 0, "fx", "", Looping::Loop); break;
      case ChannelGroup::VoiceChannel: audio::play_voice_channel(rig.audio, rig.machine, 0, "voice1", Looping::Loop); break;
      case ChannelGroup::SoundChannel: audio::play_sound_channel(rig.audio, rig.machine, 0, "fx", Looping::Loop); break;
    }
    rig.advance(100);
    int32_t stream = test.group == ChannelGroup::Music          ? rig.audio.channels.music.stream
                     : test.group == ChannelGroup::Voice        ? rig.audio.channels.voice.stream
                     : test.group == ChannelGroup::Sound        ? rig.audio.channels.sounds[0].stream
                     : test.group == ChannelGroup::VoiceChannel ? rig.audio.channels.voice_channels[0].stream
                                                                : rig.audio.channels.sound_channels[0].stream;
    SCOPED_TRACE(int(test.group) * 100000 + test.scale);
    EXPECT_EQ(rig.view(stream).volume, test.volume);
    EXPECT_EQ(rig.view(stream).attenuation, test.attenuation);
    // The start used the scale up; a new one applies to the playing stream.
    audio::set_channel_scale(rig.audio, rig.machine, channel, 1000);
    EXPECT_EQ(rig.view(stream).volume, std::min(test.user_volume, 1000));
  }
}

TEST(Channels, SwitchesAndSkippingHoldStartsBack) {
  Rig rig;
  // Music switched off: the names are kept, and switching it on starts them.
  rig.set(UserSetting::PlayMusic, 0);
  audio::play_music(rig.audio, rig.machine, "bgm", "", Looping::Loop);
  EXPECT_EQ(rig.audio.channels.music.stream, 0);
  EXPECT_EQ(rig.audio.channels.music.name, "bgm.wav");
  // A replace with nothing playing only changes the names.
  audio::replace_music(rig.audio, rig.machine, "other", "", Looping::Loop);
  EXPECT_EQ(rig.audio.channels.music.stream, 0);
  rig.set(UserSetting::PlayMusic, 1);
  audio::apply_sound_settings(rig.audio, rig.machine);
  EXPECT_EQ(audio::channel_status(rig.audio, kMusic), 1);
  EXPECT_EQ(rig.view(rig.audio.channels.music.stream).status, audio::StreamStatus::Playing);
  EXPECT_EQ(rig.audio.channels.music.name, "other.wav");
  // Sound switched off stops the groups; a volume of 0 counts as off.
  audio::play_sound(rig.audio, rig.machine, 2, "fx", "", Looping::Loop);
  EXPECT_EQ(audio::channel_status(rig.audio, {ChannelGroup::Sound, 2}), 1);
  rig.set(UserSetting::SoundVolume, 0);
  audio::apply_sound_settings(rig.audio, rig.machine);
  EXPECT_EQ(audio::channel_status(rig.audio, {ChannelGroup::Sound, 2}), 0);
  audio::play_sound_channel(rig.audio, rig.machine, 4, "fx", Looping::Once);
  EXPECT_EQ(rig.audio.channels.sound_channels[4].stream, 0);
  // Female voices off: numbered voice channels and announced voices stay silent,
  // except forced ones; male voices are gated by their own switch.
  rig.set(UserSetting::TalkFemale, 0);
  audio::play_voice_channel(rig.audio, rig.machine, 1, "voice1", Looping::Once);
  EXPECT_EQ(rig.audio.channels.voice_channels[1].stream, 0);
  EXPECT_EQ(rig.audio.channels.voice_channels[1].name, "voice1");
  audio::announce_voice(rig.audio, rig.machine, {"voice1", Looping::Once, audio::VoiceGate::Female});
  EXPECT_EQ(rig.audio.channels.voice.stream, 0);
  audio::announce_voice(rig.audio, rig.machine, {"voice1", Looping::Once, audio::VoiceGate::Male});
  EXPECT_NE(rig.audio.channels.voice.stream, 0);
  audio::announce_voice(rig.audio, rig.machine,
                        {"voice2", Looping::Once, audio::VoiceGate::Forced, audio::VoiceSkip::Skip});
  EXPECT_EQ(rig.audio.channels.voice.stream, 0);
  audio::announce_voice(rig.audio, rig.machine, {"voice2", Looping::Once, audio::VoiceGate::Forced});
  EXPECT_NE(rig.audio.channels.voice.stream, 0);

  // Instant skip: music keeps its names but does not start. Skipping text:
  // voices do not start and fade-outs stop at once.
  rig.machine.skip.fast_forward = true;
  audio::play_music(rig.audio, rig.machine, "bgm", "", Looping::Loop);
  EXPECT_EQ(audio::channel_status(rig.audio, kMusic), 0);
  EXPECT_EQ(rig.audio.channels.music.name, "bgm.wav");
  rig.machine.skip.fast_forward = false;
  int32_t voice = rig.audio.channels.voice.stream;
  rig.machine.skip.skip_all = true;
  audio::fade_out_channel(rig.audio, rig.machine, kVoice, 1000);
  EXPECT_EQ(rig.view(voice).status, audio::StreamStatus::Gone);
  audio::announce_voice(rig.audio, rig.machine, {"voice1", Looping::Once, audio::VoiceGate::Forced});
  EXPECT_EQ(rig.audio.channels.voice.stream, 0);
}

TEST(Channels, MusicWithTheSameNamesIsNotRestarted) {
  Rig rig;
  audio::play_music(rig.audio, rig.machine, "bgm", "", Looping::Loop);
  int32_t stream = rig.audio.channels.music.stream;
  rig.advance(600);
  ASSERT_EQ(audio::channel_status(rig.audio, kMusic), -1);
  // Another extension, directory and letter case name the same file.
  audio::play_music(rig.audio, rig.machine, "music\\BGM.ogg", "", Looping::Loop);
  EXPECT_EQ(rig.audio.channels.music.stream, stream);
  EXPECT_EQ(audio::channel_status(rig.audio, kMusic), -1);
  // A remembered copy comes back only when it differs.
  audio::remember_music(rig.audio);
  audio::play_music(rig.audio, rig.machine, "other", "", Looping::Loop);
  EXPECT_NE(rig.audio.channels.music.stream, stream);
  audio::restore_music(rig.audio, rig.machine);
  EXPECT_EQ(rig.audio.channels.music.name, "bgm.wav");
  int32_t restored = rig.audio.channels.music.stream;
  audio::restore_music(rig.audio, rig.machine);
  EXPECT_EQ(rig.audio.channels.music.stream, restored);
  // An empty name stops the music and forgets it.
  audio::play_music(rig.audio, rig.machine, "", "", Looping::Loop);
  EXPECT_EQ(audio::channel_status(rig.audio, kMusic), 0);
  EXPECT_EQ(rig.audio.channels.music.name, "");
}

TEST(Channels, NoVoiceLeavesTheVoicePlayingAndPresetsWaitForTheNextStart) {
  Rig rig;
  // With no voice playing, the pan is kept for the next one.
  audio::set_channel_pan(rig.audio, kVoice, -3000);
  audio::announce_voice(rig.audio, rig.machine, {"voice1", Looping::Loop, audio::VoiceGate::Forced});
  int32_t first = rig.audio.channels.voice.stream;
  rig.advance(100);
  EXPECT_EQ(rig.view(first).pan, -3000);
  EXPECT_EQ(rig.audio.channels.voice.pan_preset, 0);
  // With one playing, the pan goes to it alone.
  audio::set_channel_pan(rig.audio, kVoice, 2000);
  EXPECT_EQ(rig.audio.channels.voice.pan_preset, 0);
  audio::announce_voice(rig.audio, rig.machine, {"##NW##", Looping::Once, audio::VoiceGate::Forced});
  EXPECT_EQ(rig.audio.channels.voice.stream, first);
  rig.advance(100);
  EXPECT_EQ(rig.view(first).pan, 2000);
  EXPECT_EQ(audio::channel_status(rig.audio, kVoice), 1);
  audio::announce_voice(rig.audio, rig.machine, {"voice2", Looping::Once, audio::VoiceGate::Forced});
  EXPECT_EQ(rig.view(first).status, audio::StreamStatus::Gone);
  // Sound pans go to the playing stream and stay as the preset too.
  audio::play_sound(rig.audio, rig.machine, 0, "fx", "", Looping::Loop);
  audio::set_channel_pan(rig.audio, kSound1, 5000);
  EXPECT_EQ(rig.audio.channels.sounds[0].pan_preset, 5000);
  audio::play_sound(rig.audio, rig.machine, 0, "fx", "", Looping::Loop);
  rig.advance(100);
  EXPECT_EQ(rig.view(rig.audio.channels.sounds[0].stream).pan, 5000);
  EXPECT_EQ(rig.audio.channels.sounds[0].pan_preset, 0);
}

TEST(Channels, SavesKeepLoopingSoundsAndResetsStopEverything) {
  Rig rig;
  audio::play_music(rig.audio, rig.machine, "bgm", "other", Looping::Loop);
  audio::play_sound(rig.audio, rig.machine, 0, "fx", "", Looping::Loop);
  audio::play_sound(rig.audio, rig.machine, 1, "fx", "", Looping::Once);
  audio::set_channel_scale(rig.audio, rig.machine, {ChannelGroup::Sound, 3}, 300);
  std::vector<uint8_t> block(audio::kSavedChannelsSize, 0xEE);
  resources::SaveFields saving(resources::SaveDirection::Saving, block);
  audio::keep_channels(saving, rig.audio, rig.machine);
  EXPECT_TRUE(saving.ok());
  EXPECT_EQ(saving.position(), block.size()) << "the fields fill the block exactly";

  // A non-zero end-all code keeps the sound through one reset.
  rig.machine.end_all_code = 3;
  audio::reset_channels(rig.audio, rig.machine);
  EXPECT_EQ(audio::channel_status(rig.audio, kMusic), 1);
  audio::reset_channels(rig.audio, rig.machine);
  EXPECT_EQ(audio::channel_status(rig.audio, kMusic), 0);
  EXPECT_EQ(rig.audio.channels.music.name, "");
  EXPECT_EQ(rig.audio.channels.sounds[3].scale, 1000);

  resources::SaveFields loading(resources::SaveDirection::Loading, block);
  audio::keep_channels(loading, rig.audio, rig.machine);
  EXPECT_EQ(audio::channel_status(rig.audio, kMusic), 1);
  EXPECT_EQ(rig.audio.channels.music.name, "bgm.wav");
  EXPECT_EQ(rig.audio.channels.music.loop_part_name, "other.wav");
  EXPECT_EQ(audio::channel_status(rig.audio, kSound1), 1);
  EXPECT_EQ(rig.audio.channels.sounds[0].looping, Looping::Loop);
  // Played once: not restored by a load.
  EXPECT_EQ(audio::channel_status(rig.audio, {ChannelGroup::Sound, 1}), 0);
  EXPECT_EQ(rig.audio.channels.sounds[3].scale, 300);
}

TEST(Channels, NamesResolveToWavThenOgg) {
  Rig rig;
  EXPECT_EQ(audio::resolve_sound_name(rig.machine, "se\\FX.ogg").value_or("-"), "FX.wav");
  EXPECT_EQ(audio::resolve_sound_name(rig.machine, "only.wav").value_or("-"), "only.ogg");
  EXPECT_FALSE(audio::resolve_sound_name(rig.machine, "none"));
  EXPECT_FALSE(audio::resolve_sound_name(rig.machine, "dir\\"));
  EXPECT_EQ(audio::voice_command("ab", -1), "v1ab");  // one digit, whatever the flag
}

}  // namespace
}  // namespace tavelo
