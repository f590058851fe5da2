// Audio system calls. The operations every channel shares (stop, volume,
// fade, fade out, pan, status, wait) are one template each over the channel
// they address: fixed channels by template argument, numbered channels by
// the call's first argument, checked by channel_argument.

#include "audio/syscalls.h"

#include <optional>
#include <string>

#include "audio/channels.h"
#include "audio/state.h"
#include "host/engine_parts.h"
#include "resources/multibyte.h"
#include "resources/settings.h"
#include "resources/state.h"
#include "script/error_report.h"
#include "script/interpreter.h"
#include "script/read_marks.h"
#include "script/state.h"
#include "script/thread.h"
#include "script/waits.h"

namespace tavelo::audio {
namespace {

using script::CallArgs;
using script::CallStatus;
using script::SyscallEntry;

using Group = ChannelGroup;

// Wait calls look at the status again after this long.
constexpr int32_t kWaitPoll = 10;  // ms of script time
constexpr size_t kNameLimit = 259;

constexpr bool numbered(Group group) { return group == Group::VoiceChannel || group == Group::SoundChannel; }
// Where a call's own arguments start: after the channel number, if any.
constexpr int first_value(Group group) { return numbered(group) ? 2 : 1; }

Looping looping_of(int32_t flag) { return flag != 0 ? Looping::Loop : Looping::Once; }

State& audio(host::Engine& engine) { return host::audio_of(engine); }

// The channel of a call: fixed, or numbered by argument 1, where a number
// outside 0-19 is reported with the call's range message and the call then
// does nothing more.
template <Group G, int Index>
std::optional<ChannelId> channel_argument(const CallArgs& args) {
  if constexpr (numbered(G)) {
    int32_t channel = args.int_at(1);
    if (channel < 0 || channel >= kNumberedChannels) {
      // The message gives the range it checks: 0 to the last channel.
      script::report_call_error(args, "chは0～%dです", {kNumberedChannels - 1});
      return std::nullopt;
    }
    return ChannelId{G, channel};
  } else {
    return ChannelId{G, Index};
  }
}

// ---- operations every channel shares

template <Group G, int Index = 0>
CallStatus sys_channel_stop(host::Engine& engine, CallArgs& args) {
  if (std::optional<ChannelId> channel = channel_argument<G, Index>(args)) stop_channel(audio(engine), *channel);
  return args.done();
}

template <Group G, int Index = 0>
CallStatus sys_channel_vol(host::Engine& engine, CallArgs& args) {
  if (std::optional<ChannelId> channel = channel_argument<G, Index>(args)) {
    set_channel_scale(audio(engine), args.machine, *channel, args.int_at(first_value(G)));
  }
  return args.done();
}

template <Group G, int Index = 0>
CallStatus sys_channel_fade(host::Engine& engine, CallArgs& args) {
  if (std::optional<ChannelId> channel = channel_argument<G, Index>(args)) {
    fade_channel(audio(engine), args.machine, *channel, args.int_at(first_value(G)), args.int_at(first_value(G) + 1));
  }
  return args.done();
}

template <Group G, int Index = 0>
CallStatus sys_channel_fadeout(host::Engine& engine, CallArgs& args) {
  if (std::optional<ChannelId> channel = channel_argument<G, Index>(args)) {
    fade_out_channel(audio(engine), args.machine, *channel, args.int_at(first_value(G)));
  }
  return args.done();
}

template <Group G, int Index = 0>
CallStatus sys_channel_pan(host::Engine& engine, CallArgs& args) {
  if (std::optional<ChannelId> channel = channel_argument<G, Index>(args)) {
    set_channel_pan(audio(engine), *channel, args.int_at(first_value(G)));
  }
  return args.done();
}

template <Group G, int Index = 0>
CallStatus sys_channel_stat(host::Engine& engine, CallArgs& args) {
  std::optional<ChannelId> channel = channel_argument<G, Index>(args);
  return args.done(channel ? channel_status(audio(engine), *channel) : 0);
}

// Runs again every 10 ms of script time while the channel plays (status 1);
// while text is skipped it stops the channel instead of waiting.
template <Group G, int Index = 0>
CallStatus sys_channel_wait(host::Engine& engine, CallArgs& args) {
  std::optional<ChannelId> channel = channel_argument<G, Index>(args);
  if (!channel) return script::finish_wait(args, 0);
  script::Frame& frame = args.thread.frame();
  uint32_t now = args.machine.clock.held;
  if (frame.waiting && !script::deadline_reached(now, frame.wait_deadline)) return CallStatus::Again;
  if (script::is_skipping(args.machine)) {
    stop_channel(audio(engine), *channel);
    return script::finish_wait(args, 0);
  }
  if (channel_status(audio(engine), *channel) != 1) return script::finish_wait(args, 0);
  frame.waiting = true;
  frame.wait_deadline = script::as_deadline(int64_t(now) + kWaitPoll);
  return CallStatus::Again;
}

// ---- music

constexpr ChannelId kMusic{Group::Music, 0};

CallStatus sys_music(host::Engine& engine, CallArgs& args) {
  play_music(audio(engine), args.machine, args.text_at(1), {}, looping_of(args.has(2) ? args.int_at(2) : 1));
  return args.done();
}

CallStatus sys_music_loop(host::Engine& engine, CallArgs& args) {
  play_music(audio(engine), args.machine, args.text_at(1), args.text_at(2), Looping::Loop);
  return args.done();
}

CallStatus sys_music_replace(host::Engine& engine, CallArgs& args) {
  replace_music(audio(engine), args.machine, args.text_at(1), {}, looping_of(args.has(2) ? args.int_at(2) : 1));
  return args.done();
}

CallStatus sys_music_replace_loop(host::Engine& engine, CallArgs& args) {
  replace_music(audio(engine), args.machine, args.text_at(1), args.text_at(2), Looping::Loop);
  return args.done();
}

CallStatus sys_music_stop(host::Engine& engine, CallArgs& args) {
  stop_music(audio(engine));
  return args.done();
}

CallStatus sys_music_pause(host::Engine& engine, CallArgs& args) {
  pause_channel(audio(engine), kMusic);
  return args.done();
}

CallStatus sys_music_resume(host::Engine& engine, CallArgs& args) {
  resume_channel(audio(engine), kMusic);
  return args.done();
}

// Fades out, then the thread waits the fade's length (script time).
CallStatus sys_music_fadeout_wait(host::Engine& engine, CallArgs& args) {
  script::Frame& frame = args.thread.frame();
  uint32_t now = args.machine.clock.held;
  if (!frame.waiting) {
    int32_t ms = args.int_at(1);
    fade_out_channel(audio(engine), args.machine, kMusic, ms);
    if (ms <= 0) return args.done();
    frame.waiting = true;
    frame.wait_deadline = script::as_deadline(int64_t(now) + ms);
    return CallStatus::Again;
  }
  return script::deadline_reached(now, frame.wait_deadline) ? script::finish_wait(args, 0) : CallStatus::Again;
}

CallStatus sys_music_clear_ended(host::Engine& engine, CallArgs& args) {
  clear_channel_ended(audio(engine), kMusic);
  return args.done();
}

CallStatus sys_music_freq(host::Engine& engine, CallArgs& args) {
  set_channel_frequency(audio(engine), kMusic, args.int_at(1));
  return args.done();
}

CallStatus sys_music_remember(host::Engine& engine, CallArgs& args) {
  remember_music(audio(engine));
  return args.done();
}

CallStatus sys_music_restore(host::Engine& engine, CallArgs& args) {
  restore_music(audio(engine), args.machine);
  return args.done();
}

// ---- the announced voice

CallStatus sys_voice(host::Engine& engine, CallArgs& args) {
  State& state = audio(engine);
  std::string_view name = args.text_at(1);
  int32_t loop = args.has(2) ? args.int_at(2) : 0;
  state.channels.voice.last_name = resources::cut_game_text(args.machine.resources.lead_bytes, name, kNameLimit);
  if (state.voice_command) {
    state.voice_command(engine, voice_command(name, loop));
    return args.done();
  }
  // No message window to log it: play it as the window would, with its
  // voice-skip state at the game's default.
  bool skip_by_default = resources::env_setting(args.machine.resources, resources::EnvInt::VoiceSkipDefault) != 0;
  announce_voice(state, args.machine,
                 {name, looping_of(loop), VoiceGate::Female, skip_by_default ? VoiceSkip::Skip : VoiceSkip::Play});
  return args.done();
}

CallStatus sys_voice_play(host::Engine& engine, CallArgs& args) {
  State& state = audio(engine);
  std::string_view name = args.text_at(1);
  state.channels.voice.last_name = resources::cut_game_text(args.machine.resources.lead_bytes, name, kNameLimit);
  announce_voice(state, args.machine, {name, looping_of(args.has(2) ? args.int_at(2) : 0), VoiceGate::Forced});
  return args.done();
}

CallStatus sys_voice_name(host::Engine& engine, CallArgs& args) {
  return args.done_text(audio(engine).channels.voice.last_name);
}

// ---- sound groups

template <int Group>
CallStatus sys_sound(host::Engine& engine, CallArgs& args) {
  play_sound(audio(engine), args.machine, Group, args.text_at(1), {}, looping_of(args.has(2) ? args.int_at(2) : 0));
  return args.done();
}

template <int Group>
CallStatus sys_sound_loop(host::Engine& engine, CallArgs& args) {
  play_sound(audio(engine), args.machine, Group, args.text_at(1), args.text_at(2), Looping::Loop);
  return args.done();
}

template <int Group>
CallStatus sys_sound_name(host::Engine& engine, CallArgs& args) {
  return args.done_text(sound_name(audio(engine), Group));
}

// ---- numbered channels

CallStatus sys_voice_ch(host::Engine& engine, CallArgs& args) {
  if (std::optional<ChannelId> channel = channel_argument<Group::VoiceChannel, 0>(args)) {
    play_voice_channel(audio(engine), args.machine, channel->index, args.text_at(2),
                       looping_of(args.has(3) ? args.int_at(3) : 0));
  }
  return args.done();
}

CallStatus sys_sound_ch(host::Engine& engine, CallArgs& args) {
  if (std::optional<ChannelId> channel = channel_argument<Group::SoundChannel, 0>(args)) {
    play_sound_channel(audio(engine), args.machine, channel->index, args.text_at(2),
                       looping_of(args.has(3) ? args.int_at(3) : 0));
  }
  return args.done();
}

template <Group G>
CallStatus sys_channel_get_fn(host::Engine& engine, CallArgs& args) {
  std::optional<ChannelId> channel = channel_argument<G, 0>(args);
  if (!channel) return args.done_text({});
  const Channels& channels = audio(engine).channels;
  const auto& table = G == Group::VoiceChannel ? channels.voice_channels : channels.sound_channels;
  return args.done_text(table[size_t(channel->index)].name);
}

// ---- files

CallStatus sys_audio_file_exists(host::Engine&, CallArgs& args) {
  return args.done(resolve_sound_name(args.machine, args.text_at(1)) ? 1 : 0);
}

using script::SyscallFlags;
constexpr SyscallFlags kNone = SyscallFlags::None;

constexpr SyscallEntry kSyscalls[] = {
    SyscallEntry{0x4980F82C, "music", sys_music, kNone,
                 "str name [, int loop = 1] -> int 0; an empty name stops the music"},
    SyscallEntry{0x0DC634C4, "music_loop", sys_music_loop, kNone,
                 "str name, str loop_part -> int 0; the loop part repeats after the name"},
    SyscallEntry{0xABB7FCFB, "music_replace", sys_music_replace, kNone,
                 "str name [, int loop = 1] -> int 0; follows the playing music"},
    SyscallEntry{0x844D2028, "music_replace_loop", sys_music_replace_loop, kNone,
                 "str name, str loop_part -> int 0; follows the playing music"},
    SyscallEntry{0x0C070535, "music_stop", sys_music_stop, kNone, "-> int 0; forgets the names"},
    SyscallEntry{0x2626FE02, "music_pause", sys_music_pause, kNone, "-> int 0"},
    SyscallEntry{0xD011FF32, "music_resume", sys_music_resume, kNone, "-> int 0"},
    SyscallEntry{0xE7B90DF5, "music_vol", sys_channel_vol<Group::Music>, kNone,
                 "int scale -> int 0; 0-1000 of the user's volume"},
    SyscallEntry{0x4F6367B3, "music_fade", sys_channel_fade<Group::Music>, kNone, "int scale, int ms -> int 0"},
    SyscallEntry{0x15EEDEAA, "music_fadeout", sys_channel_fadeout<Group::Music>, kNone,
                 "int ms -> int 0; forgets the names"},
    SyscallEntry{0x379FDB39, "music_fadeout_wait", sys_music_fadeout_wait, kNone, "int ms -> int 0; waits ms"},
    SyscallEntry{0xF8D8925B, "music_stat", sys_channel_stat<Group::Music>, kNone,
                 "-> int 1 playing, -1 played through, 0 none"},
    SyscallEntry{0xD8279A9B, "music_wait", sys_channel_wait<Group::Music>, kNone,
                 "-> int 0; waits while the status is 1"},
    SyscallEntry{0x91CEACF2, "music_clear_ended", sys_music_clear_ended, kNone, "-> int 0"},
    SyscallEntry{0xEEAA9104, "music_freq", sys_music_freq, kNone, "int hz -> int 0; 0: the file's own rate"},
    SyscallEntry{0xA589DBD1, "music_remember", sys_music_remember, kNone, "-> int 0"},
    SyscallEntry{0xF86FC950, "music_restore", sys_music_restore, kNone, "-> int 0; starts the remembered music"},

    SyscallEntry{0x32D0236C, "voice", sys_voice, kNone,
                 "str name [, int loop = 0] -> int 0; through the message window and its history"},
    SyscallEntry{0x90D5298A, "voice_play", sys_voice_play, kNone, "str name [, int loop = 0] -> int 0; plays at once"},
    SyscallEntry{0x05D6ED69, "voice_stop", sys_channel_stop<Group::Voice>, kNone, "-> int 0"},
    SyscallEntry{0x801D7AF9, "voice_vol", sys_channel_vol<Group::Voice>, kNone,
                 "int scale -> int 0; 0-1000 of the user's volume"},
    SyscallEntry{0xDF91CFC5, "voice_pan", sys_channel_pan<Group::Voice>, kNone,
                 "int pan -> int 0; the playing voice, else the next"},
    SyscallEntry{0x46B28FEF, "voice_fade", sys_channel_fade<Group::Voice>, kNone, "int scale, int ms -> int 0"},
    SyscallEntry{0x173B92D1, "voice_fadeout", sys_channel_fadeout<Group::Voice>, kNone, "int ms -> int 0"},
    SyscallEntry{0xF1097A07, "voice_stat", sys_channel_stat<Group::Voice>, kNone,
                 "-> int 1 playing, -1 played through, 0 none"},
    SyscallEntry{0xD1F672C7, "voice_wait", sys_channel_wait<Group::Voice>, kNone,
                 "-> int 0; waits while the status is 1"},
    SyscallEntry{0xDEAF7041, "voice_name", sys_voice_name, kNone, "-> str the last voice name"},

    SyscallEntry{0xF62E3CA7, "sound", sys_sound<0>, kNone, "str name [, int loop = 0] -> int 0"},
    SyscallEntry{0xB268F04F, "sound_loop", sys_sound_loop<0>, kNone, "str name, str loop_part -> int 0"},
    SyscallEntry{0x83A53FFA, "sound_stop", sys_channel_stop<Group::Sound, 0>, kNone, "-> int 0"},
    SyscallEntry{0x201D3D29, "sound_vol", sys_channel_vol<Group::Sound, 0>, kNone,
                 "int scale -> int 0; 0-1000 of the user's volume"},
    SyscallEntry{0x7F918815, "sound_pan", sys_channel_pan<Group::Sound, 0>, kNone, "int pan -> int 0"},
    SyscallEntry{0xC0C15D7C, "sound_fade", sys_channel_fade<Group::Sound, 0>, kNone, "int scale, int ms -> int 0"},
    SyscallEntry{0x926C13E5, "sound_fadeout", sys_channel_fadeout<Group::Sound, 0>, kNone, "int ms -> int 0"},
    SyscallEntry{0x777AA894, "sound_stat", sys_channel_stat<Group::Sound, 0>, kNone,
                 "-> int 1 playing, -1 played through, 0 none"},
    SyscallEntry{0x5785A054, "sound_wait", sys_channel_wait<Group::Sound, 0>, kNone,
                 "-> int 0; waits while the status is 1"},
    SyscallEntry{0x5BF8F175, "sound_name", sys_sound_name<0>, kNone, "-> str the file name while it plays, else \"\""},

    SyscallEntry{0x708B0256, "sound2", sys_sound<1>, kNone, "str name [, int loop = 0] -> int 0"},
    SyscallEntry{0xDE1E2ED0, "sound2_loop", sys_sound_loop<1>, kNone, "str name, str loop_part -> int 0"},
    SyscallEntry{0x546F69C3, "sound2_stop", sys_channel_stop<Group::Sound, 1>, kNone, "-> int 0"},
    SyscallEntry{0xE799EAC8, "sound2_vol", sys_channel_vol<Group::Sound, 1>, kNone,
                 "int scale -> int 0; 0-1000 of the user's volume"},
    SyscallEntry{0xB8155FF4, "sound2_pan", sys_channel_pan<Group::Sound, 1>, kNone, "int pan -> int 0"},
    SyscallEntry{0x170B0B45, "sound2_fade", sys_channel_fade<Group::Sound, 1>, kNone, "int scale, int ms -> int 0"},
    SyscallEntry{0x2E861C51, "sound2_fadeout", sys_channel_fadeout<Group::Sound, 1>, kNone, "int ms -> int 0"},
    SyscallEntry{0xA0B0FEAD, "sound2_stat", sys_channel_stat<Group::Sound, 1>, kNone,
                 "-> int 1 playing, -1 played through, 0 none"},
    SyscallEntry{0x804FF66D, "sound2_wait", sys_channel_wait<Group::Sound, 1>, kNone,
                 "-> int 0; waits while the status is 1"},
    SyscallEntry{0xE712FEC1, "sound2_name", sys_sound_name<1>, kNone, "-> str the file name while it plays, else \"\""},

    SyscallEntry{0xED84E320, "sound3", sys_sound<2>, kNone, "str name [, int loop = 0] -> int 0"},
    SyscallEntry{0x4311CFA6, "sound3_loop", sys_sound_loop<2>, kNone, "str name, str loop_part -> int 0"},
    SyscallEntry{0x838DE99B, "sound3_stop", sys_channel_stop<Group::Sound, 2>, kNone, "-> int 0"},
    SyscallEntry{0x08CB5C29, "sound3_vol", sys_channel_vol<Group::Sound, 2>, kNone,
                 "int scale -> int 0; 0-1000 of the user's volume"},
    SyscallEntry{0x5747E915, "sound3_pan", sys_channel_pan<Group::Sound, 2>, kNone, "int pan -> int 0"},
    SyscallEntry{0xC0E98B1D, "sound3_fade", sys_channel_fade<Group::Sound, 2>, kNone, "int scale, int ms -> int 0"},
    SyscallEntry{0x39AE7891, "sound3_fadeout", sys_channel_fadeout<Group::Sound, 2>, kNone, "int ms -> int 0"},
    SyscallEntry{0x77527EF5, "sound3_stat", sys_channel_stat<Group::Sound, 2>, kNone,
                 "-> int 1 playing, -1 played through, 0 none"},
    SyscallEntry{0x57AD7635, "sound3_wait", sys_channel_wait<Group::Sound, 2>, kNone,
                 "-> int 0; waits while the status is 1"},
    SyscallEntry{0xF03A9A01, "sound3_name", sys_sound_name<2>, kNone, "-> str the file name while it plays, else \"\""},

    SyscallEntry{0x884949E0, "sound4", sys_sound<3>, kNone, "str name [, int loop = 0] -> int 0"},
    SyscallEntry{0x26DC6566, "sound4_loop", sys_sound_loop<3>, kNone, "str name, str loop_part -> int 0"},
    SyscallEntry{0xC9B362D0, "sound4_stop", sys_channel_stop<Group::Sound, 3>, kNone, "-> int 0"},
    SyscallEntry{0xE9E5564D, "sound4_vol", sys_channel_vol<Group::Sound, 3>, kNone,
                 "int scale -> int 0; 0-1000 of the user's volume"},
    SyscallEntry{0xB669E371, "sound4_pan", sys_channel_pan<Group::Sound, 3>, kNone, "int pan -> int 0"},
    SyscallEntry{0x8AD70056, "sound4_fade", sys_channel_fade<Group::Sound, 3>, kNone, "int scale, int ms -> int 0"},
    SyscallEntry{0x5C7746D1, "sound4_fadeout", sys_channel_fadeout<Group::Sound, 3>, kNone, "int ms -> int 0"},
    SyscallEntry{0x3D6CF5BE, "sound4_stat", sys_channel_stat<Group::Sound, 3>, kNone,
                 "-> int 1 playing, -1 played through, 0 none"},
    SyscallEntry{0x1D93FD7E, "sound4_wait", sys_channel_wait<Group::Sound, 3>, kNone,
                 "-> int 0; waits while the status is 1"},
    SyscallEntry{0x95E3A441, "sound4_name", sys_sound_name<3>, kNone, "-> str the file name while it plays, else \"\""},

    SyscallEntry{0x8E8167F2, "voice_ch", sys_voice_ch, kNone,
                 "int ch, str name [, int loop = 0] -> int 0; channels 0-19"},
    SyscallEntry{0x5A981E41, "voice_ch_stop", sys_channel_stop<Group::VoiceChannel>, kNone, "int ch -> int 0"},
    SyscallEntry{0xCB665AC0, "voice_ch_vol", sys_channel_vol<Group::VoiceChannel>, kNone,
                 "int ch, int scale -> int 0; one scale for all channels"},
    SyscallEntry{0x19FC7CC7, "voice_ch_fade", sys_channel_fade<Group::VoiceChannel>, kNone,
                 "int ch, int scale, int ms -> int 0"},
    SyscallEntry{0x8F905B3F, "voice_ch_fadeout", sys_channel_fadeout<Group::VoiceChannel>, kNone,
                 "int ch, int ms -> int 0"},
    SyscallEntry{0xAE47892F, "voice_ch_stat", sys_channel_stat<Group::VoiceChannel>, kNone,
                 "int ch -> int 1 playing, -1 played through, 0 none"},
    SyscallEntry{0x8EB881EF, "voice_ch_wait", sys_channel_wait<Group::VoiceChannel>, kNone,
                 "int ch -> int 0; waits while the status is 1"},
    SyscallEntry{0x4604B9AF, "voice_ch_get_fn", sys_channel_get_fn<Group::VoiceChannel>, kNone,
                 "int ch -> str the name as given"},
    SyscallEntry{0x94EAEFFC, "voice_ch_pan", sys_channel_pan<Group::VoiceChannel>, kNone,
                 "int ch, int pan -> int 0; the playing voice, else the next"},

    SyscallEntry{0x8424CF12, "sound_ch", sys_sound_ch, kNone,
                 "int ch, str name [, int loop = 0] -> int 0; channels 0-19"},
    SyscallEntry{0xDFCF9F75, "sound_ch_stop", sys_channel_stop<Group::SoundChannel>, kNone, "int ch -> int 0"},
    SyscallEntry{0xF9D7B692, "sound_ch_vol", sys_channel_vol<Group::SoundChannel>, kNone,
                 "int ch, int scale -> int 0; one scale for all channels"},
    SyscallEntry{0xA65B03AE, "sound_ch_pan", sys_channel_pan<Group::SoundChannel>, kNone,
                 "int ch, int pan -> int 0; one preset for all channels"},
    SyscallEntry{0x9CABFDF3, "sound_ch_fade", sys_channel_fade<Group::SoundChannel>, kNone,
                 "int ch, int scale, int ms -> int 0"},
    SyscallEntry{0x7B657BAB, "sound_ch_fadeout", sys_channel_fadeout<Group::SoundChannel>, kNone,
                 "int ch, int ms -> int 0"},
    SyscallEntry{0x2B10081B, "sound_ch_stat", sys_channel_stat<Group::SoundChannel>, kNone,
                 "int ch -> int 1 playing, -1 played through, 0 none"},
    SyscallEntry{0x0BEF00DB, "sound_ch_wait", sys_channel_wait<Group::SoundChannel>, kNone,
                 "int ch -> int 0; waits while the status is 1"},
    SyscallEntry{0xB2F1993B, "sound_ch_get_fn", sys_channel_get_fn<Group::SoundChannel>, kNone,
                 "int ch -> str the name as given"},

    SyscallEntry{0x45AD5F4D, "audio_file_exists", sys_audio_file_exists, kNone,
                 "str name -> int 1 when a .wav or .ogg of that name exists"},
    SyscallEntry{0x649CFC79, "audio_file_exists2", sys_audio_file_exists, kNone,
                 "str name -> int the same as audio_file_exists"},
};

}  // namespace

std::span<const SyscallEntry> syscalls() { return kSyscalls; }

}  // namespace tavelo::audio
