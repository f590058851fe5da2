// The script-facing channels over the sound output.

#include "audio/channels.h"

#include <algorithm>
#include <cassert>

#include "audio/output.h"
#include "audio/state.h"
#include "platform/platform.h"
#include "resources/file_lookup.h"
#include "resources/multibyte.h"
#include "resources/save_fields.h"
#include "resources/settings.h"
#include "resources/state.h"
#include "script/error_report.h"
#include "script/message_box.h"
#include "script/read_marks.h"
#include "script/state.h"

namespace tavelo::audio {
namespace {

using resources::UserSetting;

// Names kept as the script gave them fit the engine's 260-byte buffers.
constexpr size_t kNameLimit = 259;
constexpr std::string_view kNoVoice = "##nw##";

enum class VolumeKind { Music, Voice, Sound };

// What the generic operations need of a channel.
struct Slot {
  int32_t& stream;
  int32_t& scale;
  int32_t* pan_preset;  // null for music
  VolumeKind kind;
};

Slot slot_of(Channels& channels, ChannelId id) {
  assert(id.index >= 0 && id.index < kNumberedChannels && (id.group != ChannelGroup::Sound || id.index < kSoundGroups));
  switch (id.group) {
    case ChannelGroup::Voice:
      return {channels.voice.stream, channels.voice.scale, &channels.voice.pan_preset, VolumeKind::Voice};
    case ChannelGroup::Sound: {
      SoundChannel& sound = channels.sounds[size_t(id.index)];
      return {sound.stream, sound.scale, &sound.pan_preset, VolumeKind::Sound};
    }
    case ChannelGroup::VoiceChannel: {
      NumberedChannel& voice = channels.voice_channels[size_t(id.index)];
      return {voice.stream, channels.voice_channel_scale, &voice.pan_preset, VolumeKind::Voice};
    }
    case ChannelGroup::SoundChannel:
      return {channels.sound_channels[size_t(id.index)].stream, channels.sound_channel_scale,
              &channels.sound_channel_pan_preset, VolumeKind::Sound};
    case ChannelGroup::Music: break;
  }
  return {channels.music.stream, channels.music.scale, nullptr, VolumeKind::Music};
}

// ---- the user's settings

int32_t setting(script::Machine& machine, UserSetting which) {
  return resources::read_user_setting(machine.resources, which);
}

int32_t user_volume(script::Machine& machine, VolumeKind kind) {
  switch (kind) {
    case VolumeKind::Music: return setting(machine, UserSetting::MusicVolume);
    case VolumeKind::Voice: return setting(machine, UserSetting::VoiceVolume);
    case VolumeKind::Sound: return setting(machine, UserSetting::SoundVolume);
  }
  return 0;
}

bool music_on(script::Machine& machine) {
  return setting(machine, UserSetting::MusicVolume) != 0 && setting(machine, UserSetting::PlayMusic) != 0;
}
bool sound_on(script::Machine& machine) {
  return setting(machine, UserSetting::SoundVolume) != 0 && setting(machine, UserSetting::PlaySound) != 0;
}
bool voices_on(script::Machine& machine, UserSetting talk) {
  return setting(machine, UserSetting::VoiceVolume) != 0 && setting(machine, talk) != 0;
}

// The output's volume (0-1000) for a user volume and a script scale. Out of
// range products are clamped: the output hears nothing below 0 and nothing
// louder above 1000 anyway.
int32_t stream_volume(int32_t user, int32_t scale) {
  return int32_t(std::clamp<int64_t>(int64_t(user) * scale / kFullScale, 0, kFullScale));
}

int32_t volume_for(script::Machine& machine, VolumeKind kind, int32_t scale) {
  return stream_volume(user_volume(machine, kind), scale);
}

// ---- skipping

bool skipping(script::Machine& machine) { return script::is_skipping(machine); }
// Instant skip drops text outright; sound is not even started then.
bool instant_skipping(script::Machine& machine) {
  return machine.skip.fast_forward && machine.skip.suspension == 0;
}

uint32_t output_now(script::Machine& machine) { return machine.platform.ticks_ms(); }

// ---- names

bool same_name(script::Machine& machine, std::string_view a, std::string_view b) {
  return resources::compare_text(machine.resources.lead_bytes, a, b, resources::Case::Insensitive) == 0;
}

// The family's missing-file line, for the error report and the debug log as
// the debug settings ask.
void report_missing(script::Machine& machine, std::string_view family, std::string_view name) {
  if (!machine.debug_mode) return;
  constexpr std::string_view kMessage = "%s : ファイル[%s]が存在しません";
  if (setting(machine, UserSetting::ReprotNoVoice) != 0) script::report_script_error(machine, kMessage, {family, name});
  if (setting(machine, UserSetting::LogNoVoice) != 0) {
    script::debug_log(machine, script::game_message(machine, kMessage, {family, name}));
  }
}

// Both names resolved, or nullopt after the report (the call then does
// nothing more). An empty loop-part name stays empty.
struct ResolvedNames {
  std::string name;
  std::string loop_part_name;
};
std::optional<ResolvedNames> resolve_names(script::Machine& machine, std::string_view family, std::string_view name,
                                           std::string_view loop_part_name) {
  ResolvedNames resolved;
  std::optional<std::string> file = resolve_sound_name(machine, name);
  if (!file) {
    report_missing(machine, family, name);
    return std::nullopt;
  }
  resolved.name = std::move(*file);
  if (!loop_part_name.empty()) {
    std::optional<std::string> loop_file = resolve_sound_name(machine, loop_part_name);
    if (!loop_file) {
      report_missing(machine, family, loop_part_name);
      return std::nullopt;
    }
    resolved.loop_part_name = std::move(*loop_file);
  }
  return resolved;
}

constexpr std::string_view kSoundFamilies[kSoundGroups] = {"sound", "sound2", "sound3", "sound4"};

// Starts a stream with the channel's pan preset.
int32_t start_stream(State& audio, const std::string& name, const std::string& loop_part_name, int32_t volume,
                     Looping looping, int32_t pan_preset) {
  if (pan_preset != 0) set_pan_preset(audio.output, pan_preset);
  return play_stream(audio.output, name, loop_part_name, volume, looping);
}

void stop_and_forget(State& audio, int32_t& stream) {
  stop_stream(audio.output, stream);
  stream = 0;
}

}  // namespace

int32_t channel_status(State& audio, ChannelId channel) {
  switch (stream_status(audio.output, slot_of(audio.channels, channel).stream)) {
    case StreamStatus::Playing: return 1;
    case StreamStatus::Ended: return -1;
    case StreamStatus::Gone: break;
  }
  return 0;
}

void stop_channel(State& audio, ChannelId channel) {
  Slot slot = slot_of(audio.channels, channel);
  stop_and_forget(audio, slot.stream);
  slot.scale = kFullScale;
}

void set_channel_scale(State& audio, script::Machine& machine, ChannelId channel, int32_t scale) {
  Slot slot = slot_of(audio.channels, channel);
  slot.scale = scale;
  set_stream_volume(audio.output, slot.stream, volume_for(machine, slot.kind, scale));
}

void fade_channel(State& audio, script::Machine& machine, ChannelId channel, int32_t scale, int32_t ms) {
  Slot slot = slot_of(audio.channels, channel);
  fade_stream(audio.output, slot.stream, volume_for(machine, slot.kind, scale), ms, output_now(machine));
}

void fade_out_channel(State& audio, script::Machine& machine, ChannelId channel, int32_t ms) {
  Slot slot = slot_of(audio.channels, channel);
  if (skipping(machine)) {
    stop_and_forget(audio, slot.stream);
  } else {
    fade_out_stream(audio.output, slot.stream, 0, ms, output_now(machine));
  }
  slot.scale = kFullScale;
  if (channel.group == ChannelGroup::Music) {
    audio.channels.music.name.clear();
    audio.channels.music.loop_part_name.clear();
  }
}

void set_channel_pan(State& audio, ChannelId channel, int32_t pan) {
  Slot slot = slot_of(audio.channels, channel);
  bool voice = channel.group == ChannelGroup::Voice || channel.group == ChannelGroup::VoiceChannel;
  if (voice && slot.pan_preset && stream_status(audio.output, slot.stream) == StreamStatus::Gone) {
    *slot.pan_preset = pan;
    return;
  }
  if (!voice && slot.pan_preset) *slot.pan_preset = pan;
  set_stream_pan(audio.output, slot.stream, pan);
}

void pause_channel(State& audio, ChannelId channel) {
  pause_stream(audio.output, slot_of(audio.channels, channel).stream);
}

void resume_channel(State& audio, ChannelId channel) {
  resume_stream(audio.output, slot_of(audio.channels, channel).stream);
}

void clear_channel_ended(State& audio, ChannelId channel) {
  clear_stream_ended(audio.output, slot_of(audio.channels, channel).stream);
}

void set_channel_frequency(State& audio, ChannelId channel, int32_t frequency) {
  set_stream_frequency(audio.output, slot_of(audio.channels, channel).stream, frequency);
}

std::optional<std::string> resolve_sound_name(script::Machine& machine, std::string_view name) {
  std::string base(resources::file_name_part(machine.resources.lead_bytes, name, resources::Extension::Strip));
  if (base.empty()) return std::nullopt;
  for (std::string_view extension : {".wav", ".ogg"}) {
    std::string candidate = base + std::string(extension);
    if (resources::file_exists(machine.resources, candidate)) return candidate;
  }
  return std::nullopt;
}

// ---- music

void play_music(State& audio, script::Machine& machine, std::string_view name, std::string_view loop_part_name,
                Looping looping) {
  if (name.empty()) {
    stop_music(audio);
    return;
  }
  std::optional<ResolvedNames> resolved = resolve_names(machine, "music", name, loop_part_name);
  if (!resolved) return;
  MusicChannel& music = audio.channels.music;
  if (stream_status(audio.output, music.stream) != StreamStatus::Gone && same_name(machine, resolved->name, music.name) &&
      same_name(machine, resolved->loop_part_name, music.loop_part_name)) {
    return;
  }
  stop_and_forget(audio, music.stream);
  music.name = std::move(resolved->name);
  music.loop_part_name = std::move(resolved->loop_part_name);
  music.looping = looping;
  if (!instant_skipping(machine) && music_on(machine)) {
    music.stream = start_stream(audio, music.name, music.loop_part_name,
                                volume_for(machine, VolumeKind::Music, music.scale), looping, 0);
  }
  music.scale = kFullScale;
}

void replace_music(State& audio, script::Machine& machine, std::string_view name, std::string_view loop_part_name,
                   Looping looping) {
  std::optional<ResolvedNames> resolved = resolve_names(machine, "music_replace", name, loop_part_name);
  if (!resolved) return;
  MusicChannel& music = audio.channels.music;
  music.name = std::move(resolved->name);
  music.loop_part_name = std::move(resolved->loop_part_name);
  music.looping = looping;
  if (!instant_skipping(machine)) replace_stream(audio.output, music.stream, music.name, music.loop_part_name, looping);
}

void stop_music(State& audio) {
  stop_channel(audio, {ChannelGroup::Music, 0});
  audio.channels.music.name.clear();
  audio.channels.music.loop_part_name.clear();
}

void stop_all_channels(State& audio) {
  stop_music(audio);
  stop_channel(audio, {ChannelGroup::Voice, 0});
  for (int group = 0; group < kSoundGroups; ++group) stop_channel(audio, {ChannelGroup::Sound, group});
  for (int channel = 0; channel < kNumberedChannels; ++channel) {
    stop_channel(audio, {ChannelGroup::VoiceChannel, channel});
    stop_channel(audio, {ChannelGroup::SoundChannel, channel});
  }
}

void remember_music(State& audio) {
  MusicChannel& music = audio.channels.music;
  music.remembered_name = music.name;
  music.remembered_loop_part_name = music.loop_part_name;
  music.remembered_looping = music.looping;
}

void restore_music(State& audio, script::Machine& machine) {
  MusicChannel& music = audio.channels.music;
  if (same_name(machine, music.remembered_name, music.name) &&
      same_name(machine, music.remembered_loop_part_name, music.loop_part_name) &&
      music.remembered_looping == music.looping) {
    return;
  }
  if (music.remembered_name.empty()) {
    stop_music(audio);
    return;
  }
  // Copies: play_music replaces the current names.
  std::string name = music.remembered_name, loop_part_name = music.remembered_loop_part_name;
  play_music(audio, machine, name, loop_part_name, music.remembered_looping);
}

// ---- voices

void announce_voice(State& audio, script::Machine& machine, const VoiceAnnouncement& voice) {
  if (same_name(machine, voice.name, kNoVoice)) return;
  AnnouncedVoice& channel = audio.channels.voice;
  stop_and_forget(audio, channel.stream);
  std::optional<std::string> file = resolve_sound_name(machine, voice.name);
  if (!file) {
    report_missing(machine, "voice", voice.name);
    return;
  }
  bool gate_open = false;
  switch (voice.gate) {
    case VoiceGate::Forced: gate_open = true; break;
    case VoiceGate::Male: gate_open = voices_on(machine, UserSetting::TalkMale); break;
    case VoiceGate::Female: gate_open = voices_on(machine, UserSetting::TalkFemale); break;
  }
  if (voice.skip == VoiceSkip::Play && gate_open && !skipping(machine)) {
    // A developer's aid: voices at double speed while testing scenes.
    if (machine.debug_mode && setting(machine, UserSetting::FastVoicePlay) != 0) {
      set_voice_filter_preset(audio.output, VoiceFilter::FastVoice);
    }
    channel.stream = start_stream(audio, *file, {}, volume_for(machine, VolumeKind::Voice, channel.scale),
                                  voice.looping, channel.pan_preset);
  }
  channel.pan_preset = 0;
  channel.scale = kFullScale;
}

std::string voice_command(std::string_view name, int32_t loop) {
  // One digit: the message window reads the character after `v` as the flag.
  char digit = char('0' + (loop >= 0 && loop <= 9 ? loop : 1));
  std::string command = "v";
  command += digit;
  command += name;
  return command;
}

// ---- sound groups and numbered channels

void play_sound(State& audio, script::Machine& machine, int group, std::string_view name,
                std::string_view loop_part_name, Looping looping) {
  SoundChannel& sound = audio.channels.sounds[size_t(group)];
  stop_and_forget(audio, sound.stream);
  sound.name.clear();
  sound.loop_part_name.clear();
  sound.looping = looping;
  std::optional<ResolvedNames> resolved = resolve_names(machine, kSoundFamilies[group], name, loop_part_name);
  if (!resolved) return;
  sound.name = std::move(resolved->name);
  sound.loop_part_name = std::move(resolved->loop_part_name);
  if (sound_on(machine) && !instant_skipping(machine)) {
    sound.stream = start_stream(audio, sound.name, sound.loop_part_name,
                                volume_for(machine, VolumeKind::Sound, sound.scale), looping, sound.pan_preset);
  }
  sound.scale = kFullScale;
  sound.pan_preset = 0;
}

std::string_view sound_name(State& audio, int group) {
  if (channel_status(audio, {ChannelGroup::Sound, group}) != 1) return {};
  return audio.channels.sounds[size_t(group)].name;
}

void play_voice_channel(State& audio, script::Machine& machine, int channel, std::string_view name, Looping looping) {
  Channels& channels = audio.channels;
  NumberedChannel& voice = channels.voice_channels[size_t(channel)];
  stop_and_forget(audio, voice.stream);
  voice.name = resources::cut_game_text(machine.resources.lead_bytes, name, kNameLimit);
  std::optional<std::string> file = resolve_sound_name(machine, name);
  if (!file) {
    report_missing(machine, "voice_ch", name);
    return;
  }
  if (voices_on(machine, UserSetting::TalkFemale) && !skipping(machine)) {
    voice.stream = start_stream(audio, *file, {}, volume_for(machine, VolumeKind::Voice, channels.voice_channel_scale),
                                looping, voice.pan_preset);
  }
  voice.pan_preset = 0;
  channels.voice_channel_scale = kFullScale;
}

void play_sound_channel(State& audio, script::Machine& machine, int channel, std::string_view name, Looping looping) {
  Channels& channels = audio.channels;
  NumberedChannel& sound = channels.sound_channels[size_t(channel)];
  stop_and_forget(audio, sound.stream);
  sound.name = resources::cut_game_text(machine.resources.lead_bytes, name, kNameLimit);
  std::optional<std::string> file = resolve_sound_name(machine, name);
  if (!file) {
    report_missing(machine, "sound_ch", name);
    return;
  }
  if (sound_on(machine) && !instant_skipping(machine)) {
    sound.stream = start_stream(audio, *file, {}, volume_for(machine, VolumeKind::Sound, channels.sound_channel_scale),
                                looping, channels.sound_channel_pan_preset);
  }
  channels.sound_channel_pan_preset = 0;
  channels.sound_channel_scale = kFullScale;
}

// ---- saves, loads, settings

namespace {

struct SavedSound {
  std::string name;  // empty unless the group loops and its stream is alive
  std::string loop_part_name;
  int32_t scale = kFullScale;
};

struct SavedChannels {
  std::string music_name;
  std::string music_loop_part_name;
  bool music_loops = true;
  int32_t music_scale = kFullScale;
  int32_t voice_scale = kFullScale;
  std::array<SavedSound, kSoundGroups> sounds;
};

constexpr size_t kMusicNameField = 256;
constexpr size_t kSoundNameField = 128;

// The block's layout, both ways.
void channel_fields(resources::SaveFields& fields, SavedChannels& saved) {
  fields.text(saved.music_name, kMusicNameField);
  fields.text(saved.music_loop_part_name, kMusicNameField);
  for (SavedSound& sound : saved.sounds) {
    fields.text(sound.name, kSoundNameField);
    fields.text(sound.loop_part_name, kSoundNameField);
  }
  fields.int32(saved.music_scale);
  fields.unused(4);
  fields.flag(saved.music_loops);
  fields.unused(20);
  fields.int32(saved.voice_scale);
  fields.unused(100);
  for (SavedSound& sound : saved.sounds) fields.int32(sound.scale);
  fields.unused(88);
}

SavedChannels saved_channels(State& audio) {
  const Channels& channels = audio.channels;
  SavedChannels saved;
  saved.music_name = channels.music.name;
  saved.music_loop_part_name = channels.music.loop_part_name;
  saved.music_loops = channels.music.looping == Looping::Loop;
  saved.music_scale = channels.music.scale;
  saved.voice_scale = channels.voice.scale;
  for (int group = 0; group < kSoundGroups; ++group) {
    const SoundChannel& sound = channels.sounds[size_t(group)];
    SavedSound& kept = saved.sounds[size_t(group)];
    kept.scale = sound.scale;
    if (sound.looping == Looping::Loop && channel_status(audio, {ChannelGroup::Sound, group}) != 0) {
      kept.name = sound.name;
      kept.loop_part_name = sound.loop_part_name;
    }
  }
  return saved;
}

void restore_channels(State& audio, script::Machine& machine, const SavedChannels& saved) {
  Channels& channels = audio.channels;
  channels.music.scale = saved.music_scale;
  channels.voice.scale = saved.voice_scale;
  for (int group = 0; group < kSoundGroups; ++group) channels.sounds[size_t(group)].scale = saved.sounds[size_t(group)].scale;
  if (!saved.music_name.empty()) {
    play_music(audio, machine, saved.music_name, saved.music_loop_part_name,
               saved.music_loops ? Looping::Loop : Looping::Once);
  }
  for (int group = 0; group < kSoundGroups; ++group) {
    const SavedSound& sound = saved.sounds[size_t(group)];
    if (!sound.name.empty()) play_sound(audio, machine, group, sound.name, sound.loop_part_name, Looping::Loop);
  }
}

}  // namespace

void keep_channels(resources::SaveFields& fields, State& audio, script::Machine& machine) {
  SavedChannels saved = fields.loading() ? SavedChannels{} : saved_channels(audio);
  channel_fields(fields, saved);
  if (fields.loading()) restore_channels(audio, machine, saved);
}

void save_no_channels(resources::SaveFields& fields) {
  SavedChannels none;
  channel_fields(fields, none);
}

void reset_channels(State& audio, script::Machine& machine) {
  // The end-all-threads call's non-zero code keeps the sound through one reset.
  if (machine.end_all_code != 0) {
    machine.end_all_code = 0;
    return;
  }
  stop_all_streams(audio.output);
  audio.channels = Channels{};
}

void apply_sound_settings(State& audio, script::Machine& machine) {
  Channels& channels = audio.channels;
  MusicChannel& music = channels.music;
  bool music_playing = stream_status(audio.output, music.stream) != StreamStatus::Gone;
  if (!music_on(machine)) {
    stop_and_forget(audio, music.stream);
  } else if (music_playing) {
    set_stream_volume(audio.output, music.stream, volume_for(machine, VolumeKind::Music, music.scale));
  } else if (!music.name.empty()) {
    std::string name = music.name, loop_part_name = music.loop_part_name;
    play_music(audio, machine, name, loop_part_name, music.looping);
  }
  set_stream_volume(audio.output, channels.sounds[0].stream,
                    volume_for(machine, VolumeKind::Sound, channels.sounds[0].scale));
  set_stream_volume(audio.output, channels.voice.stream, volume_for(machine, VolumeKind::Voice, channels.voice.scale));
  if (!sound_on(machine)) {
    for (SoundChannel& sound : channels.sounds) stop_and_forget(audio, sound.stream);
  }
}

void preview_music_volume(State& audio, int32_t user_volume) {
  MusicChannel& music = audio.channels.music;
  set_stream_volume(audio.output, music.stream, stream_volume(user_volume, music.scale));
}

}  // namespace tavelo::audio
