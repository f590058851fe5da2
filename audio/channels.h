#pragma once
// What scripts see of sound: the music channel, the announced voice, four
// sound channels and twenty numbered voice and sound channels, each holding
// at most one stream of the output (audio/output.h). Owns the Channels record
// inside audio::State. The system calls (audio/syscalls.cpp) call these; so
// do the message window (announce_voice), saves and loads (keep_channels,
// reset_channels) and the sound settings (apply_sound_settings), through the
// host. Main thread only.
//
// A stream's volume is the user's volume of its kind (MusicVolume,
// VoiceVolume or SoundVolume) times the channel's volume scale / 1000. Scales
// return to 1000 after every start or stop of their channel; pan presets are
// used up by the next start. Names of music and sound channels are resolved
// ("bgm\\Title.ogg" -> "Title.wav" or "Title.ogg", whichever exists, through
// the sound lookup); voice names are kept as the script gave them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "audio/stream.h"

namespace tavelo::resources {
class SaveFields;
}
namespace tavelo::script {
struct Machine;
}

namespace tavelo::audio {

struct State;

inline constexpr int kSoundGroups = 4;
inline constexpr int kNumberedChannels = 20;
inline constexpr int32_t kFullScale = 1000;

struct MusicChannel {
  int32_t stream = 0;
  std::string name;            // resolved, with extension
  std::string loop_part_name;  // resolved; empty when none
  Looping looping = Looping::Loop;
  int32_t scale = kFullScale;
  // music_remember's copy, which music_restore brings back.
  std::string remembered_name;
  std::string remembered_loop_part_name;
  Looping remembered_looping = Looping::Loop;
};

struct AnnouncedVoice {
  int32_t stream = 0;
  std::string last_name;  // as the script gave it to voice or voice_play
  int32_t scale = kFullScale;
  int32_t pan_preset = 0;  // 0 = none
};

struct SoundChannel {
  int32_t stream = 0;
  std::string name;            // resolved
  std::string loop_part_name;  // resolved; empty when none
  Looping looping = Looping::Once;
  int32_t scale = kFullScale;
  int32_t pan_preset = 0;
};

struct NumberedChannel {
  int32_t stream = 0;
  std::string name;        // as the script gave it, at most 259 bytes
  int32_t pan_preset = 0;  // voice channels only; sound channels share one
};

struct Channels {
  MusicChannel music;
  AnnouncedVoice voice;
  std::array<SoundChannel, kSoundGroups> sounds;
  std::array<NumberedChannel, kNumberedChannels> voice_channels;
  int32_t voice_channel_scale = kFullScale;  // shared by the twenty
  std::array<NumberedChannel, kNumberedChannels> sound_channels;
  int32_t sound_channel_scale = kFullScale;  // shared by the twenty
  int32_t sound_channel_pan_preset = 0;      // shared by the twenty
};

// A channel as the generic operations address it. index: the sound group
// 0-3, or the channel number 0-19 (checked by the caller).
enum class ChannelGroup { Music, Voice, Sound, VoiceChannel, SoundChannel };
struct ChannelId {
  ChannelGroup group = ChannelGroup::Music;
  int index = 0;
};

// The script-visible status: 1 playing, -1 played through (looping), 0 none.
int32_t channel_status(State& audio, ChannelId channel);
// Stops the stream; the scale returns to 1000.
void stop_channel(State& audio, ChannelId channel);
// Scale = scale, and the stream's volume follows at once.
void set_channel_scale(State& audio, script::Machine& machine, ChannelId channel, int32_t scale);
// Fades the stream to the user volume times scale / 1000 over ms.
void fade_channel(State& audio, script::Machine& machine, ChannelId channel, int32_t scale, int32_t ms);
// Fades to silence and removes the stream (at once while skipping); the
// scale returns to 1000, and music forgets its names.
void fade_out_channel(State& audio, script::Machine& machine, ChannelId channel, int32_t ms);
// Voices: the pan of the playing stream, or else the preset for the next one.
// Sounds: both.
void set_channel_pan(State& audio, ChannelId channel, int32_t pan);
void pause_channel(State& audio, ChannelId channel);
void resume_channel(State& audio, ChannelId channel);
void clear_channel_ended(State& audio, ChannelId channel);
void set_channel_frequency(State& audio, ChannelId channel, int32_t frequency);

// The file a sound name stands for: its base name with ".wav" when that
// exists, else with ".ogg"; nullopt when neither does.
std::optional<std::string> resolve_sound_name(script::Machine& machine, std::string_view name);

// ---- music

// Starts music unless the same resolved names already play. An empty name
// stops the music. The names are kept even while music is switched off, so
// switching it on starts them.
void play_music(State& audio, script::Machine& machine, std::string_view name, std::string_view loop_part_name,
                Looping looping);
// Queues music to follow the playing data without a gap, and keeps its names.
void replace_music(State& audio, script::Machine& machine, std::string_view name, std::string_view loop_part_name,
                   Looping looping);
// Stops and forgets the names.
void stop_music(State& audio);
// Stops the music, the voice and every sound and numbered channel.
void stop_all_channels(State& audio);
void remember_music(State& audio);
// Starts the remembered music when it differs from the current one (stops
// the music when the remembered name is empty).
void restore_music(State& audio, script::Machine& machine);

// ---- voices

// How the message window gates an announced voice.
enum class VoiceGate {
  Forced,  // plays whatever the male and female switches say
  Male,    // plays when male voices are on
  Female,  // plays when female voices are on
};
// The message window's voice-skip state (voice_next_skip): Skip plays nothing.
enum class VoiceSkip { Play, Skip };

struct VoiceAnnouncement {
  std::string_view name;  // game text; "##nw##" (any case) means no voice
  Looping looping = Looping::Once;
  VoiceGate gate = VoiceGate::Female;
  VoiceSkip skip = VoiceSkip::Play;
};

// The announcement rule, for the `v` console command of the message window
// and its history replay, and for voice_play. "##nw##" leaves the playing
// voice alone; any other name stops it and starts the new one when the gate
// allows and text is not being skipped.
void announce_voice(State& audio, script::Machine& machine, const VoiceAnnouncement& voice);

// The console command the `voice` call hands to the message window:
// "v<loop digit><name>".
std::string voice_command(std::string_view name, int32_t loop);

// ---- sound groups and numbered channels

// group 0-3.
void play_sound(State& audio, script::Machine& machine, int group, std::string_view name,
                std::string_view loop_part_name, Looping looping);
// The resolved name while the stream plays (status 1), else empty.
std::string_view sound_name(State& audio, int group);

// channel 0-19. Voice channels play when female voices are on and text is
// not skipped; sound channels when sound is on and not instant-skipping.
void play_voice_channel(State& audio, script::Machine& machine, int channel, std::string_view name, Looping looping);
void play_sound_channel(State& audio, script::Machine& machine, int channel, std::string_view name, Looping looping);

// ---- operations for saves, loads and the settings dialogs

// The channels' part of a save: a block of the save file's header (bytes
// 172 to 1947) with the music's name and loop part, each sound group's name
// and loop part, then the scales of the music, the announced voice and the
// sound groups and the music's loop flag, with unused gaps between.
inline constexpr size_t kSavedChannelsSize = 1776;

// Both ways. Saving writes the music, the sound groups that loop with a live
// stream (effects played once do not come back) and every scale; loading,
// after reset_channels(), restores the scales and starts the saved music and
// looping sounds again.
void keep_channels(resources::SaveFields& fields, State& audio, script::Machine& machine);
// Saving only: the block of channels that keep nothing (no names, every scale
// 1000, the music set to loop), which an empty snapshot holds.
void save_no_channels(resources::SaveFields& fields);

// New game or load: stops every stream and clears every channel, unless the
// end-all-threads call asked (with a non-zero code) to keep the sound through
// the next reset, which it then does once.
void reset_channels(State& audio, script::Machine& machine);

// After the user's sound settings changed: the new volumes reach the playing
// music, sound 1 and the announced voice; music switched off stops, switched
// on with nothing playing starts its names; sound switched off stops sounds 1-4.
void apply_sound_settings(State& audio, script::Machine& machine);

// While the sound dialog's music slider moves: the playing music at that
// user volume (0-1000), the stored setting left alone.
void preview_music_volume(State& audio, int32_t user_volume);

}  // namespace tavelo::audio
