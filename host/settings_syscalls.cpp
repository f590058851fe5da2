// System calls of the settings dialogs.

#include "host/settings_syscalls.h"

#include <algorithm>

#include "audio/channels.h"
#include "host/engine.h"
#include "host/settings_dialogs.h"
#include "host/state.h"
#include "resources/multibyte.h"
#include "resources/settings.h"
#include "resources/state.h"
#include "script/thread.h"
#include "script/waits.h"

namespace tavelo::host {
namespace {

using dialogs::SettingsDialogKind;
using resources::UserSetting;
using script::CallArgs;
using script::CallStatus;
using script::SyscallEntry;

constexpr script::SyscallFlags kNone = script::SyscallFlags::None;
// Faces and labels are kept in 260-byte buffers.
constexpr size_t kTextLimit = 259;

std::string limited(Engine& engine, std::string_view game_text) {
  return resources::cut_game_text(engine.resources.lead_bytes, game_text, kTextLimit);
}

// ---- dialogs

// What a dialog call gives once the dialog has closed.
enum class DialogResult : uint8_t { Zero, Face };

// A settings dialog as a wait. The first run opens it; every run follows it
// (the music follows the slider) until it closes, and then its pages are
// written and applied on OK.
CallStatus run_settings_dialog(Engine& engine, CallArgs& args, SettingsDialogKind kind, DialogResult result) {
  auto& open = engine.host.settings_dialogs.script_dialogs;
  script::Thread& thread = args.thread;
  bool first = !thread.frame().waiting || thread.open_dialog == 0;
  std::shared_ptr<dialogs::SettingsDialog> dialog;
  platform::DialogRequest request;
  request.kind = platform::DialogKind::Panel;
  if (first) {
    dialog = make_settings_dialog(engine, kind);
    request.content = dialog;
  } else {
    auto found = std::find_if(open.begin(), open.end(), [&](const auto& entry) { return entry.first == thread.open_dialog; });
    if (found != open.end()) dialog = found->second;
  }
  platform::DialogId id = thread.open_dialog;
  std::optional<platform::DialogOutcome> outcome = script::run_dialog(args, request);
  if (!outcome) {
    if (first) open.emplace_back(thread.open_dialog, dialog);
    if (dialog) follow_settings_dialog(engine, *dialog);
    return script::poll_again(args);
  }
  std::erase_if(open, [&](const auto& entry) { return entry.first == id; });
  if (dialog) finish_settings_dialog(engine, *dialog, outcome->status == platform::DialogStatus::Accepted);
  if (result == DialogResult::Face) return args.done_text(engine.host.settings_dialogs.face);
  return args.done(0);
}

template <SettingsDialogKind Kind>
CallStatus sys_settings_dialog(Engine& engine, CallArgs& args) {
  return run_settings_dialog(engine, args, Kind, DialogResult::Zero);
}

// face, proportional: the choice is set before the dialog opens (on later
// runs the arguments are those of the waiting call, and already set).
CallStatus sys_font_dialog(Engine& engine, CallArgs& args) {
  SettingsDialogState& state = engine.host.settings_dialogs;
  if (!args.thread.frame().waiting) {
    state.face = limited(engine, args.text_at(1));
    state.proportional = args.int_at(2);
  }
  return run_settings_dialog(engine, args, SettingsDialogKind::Font, DialogResult::Face);
}

// ---- font choice and voice labels

CallStatus sys_font_choice_set(Engine& engine, CallArgs& args) {
  SettingsDialogState& state = engine.host.settings_dialogs;
  state.face = limited(engine, args.text_at(1));
  state.proportional = args.int_at(2);
  return args.done(0);
}

CallStatus sys_font_choice(Engine& engine, CallArgs& args) {
  return args.done_text(engine.host.settings_dialogs.face);
}

CallStatus sys_font_choice_allow(Engine& engine, CallArgs& args) {
  engine.host.settings_dialogs.allowed_face = limited(engine, args.text_at(1));
  return args.done(0);
}

// Labels are given in order; the ones not given are cleared (no box, no line).
template <size_t N>
void set_labels(Engine& engine, const CallArgs& args, std::array<std::string, N>& labels) {
  for (size_t i = 0; i < N; ++i) {
    labels[i] = args.has(int(i) + 1) ? limited(engine, args.text_at(int(i) + 1)) : std::string();
  }
}

CallStatus sys_voice_setup_names(Engine& engine, CallArgs& args) {
  set_labels(engine, args, engine.host.settings_dialogs.voice_names);
  return args.done(0);
}

CallStatus sys_voice_setup_notes(Engine& engine, CallArgs& args) {
  set_labels(engine, args, engine.host.settings_dialogs.voice_notes);
  return args.done(0);
}

// Any index reads a character: below 0 the first, above 29 the last.
CallStatus sys_voice_setup_level(Engine& engine, CallArgs& args) {
  if (resources::read_user_setting(engine.resources, UserSetting::TalkFemale) == 0) return args.done(0);
  int index = std::clamp(args.int_at(1), 0, resources::kVoiceSetupLevels - 1);
  return args.done(resources::read_voice_level(engine.resources, index));
}

// ---- settings

template <UserSetting Setting>
CallStatus sys_setting(Engine& engine, CallArgs& args) {
  return args.done(resources::read_user_setting(engine.resources, Setting));
}

// Stored clamped to the setting's range, as reads are.
template <UserSetting Setting>
CallStatus sys_set_setting(Engine& engine, CallArgs& args) {
  (void)resources::write_user_setting(engine.resources, Setting, args.int_at(1));
  return args.done(0);
}

// A volume reaches the playing sound 1, announced voice and music at once.
template <UserSetting Setting>
CallStatus sys_set_volume(Engine& engine, CallArgs& args) {
  (void)resources::write_user_setting(engine.resources, Setting, args.int_at(1));
  audio::apply_sound_settings(engine.audio, engine.script);
  return args.done(0);
}

// The keys of the two calls of the standard set that open the sound and the
// speed dialog are known, their names are not.
constexpr SyscallEntry kSettingsSyscalls[] = {
    {0x4EA2D1FC, "config_all_dialog", sys_settings_dialog<SettingsDialogKind::Combined>, kNone,
     "-> int 0; waits until the combined settings dialog is closed"},
    {0x978047DB, "config_sound_dialog", sys_settings_dialog<SettingsDialogKind::Sound>, kNone,
     "-> int 0; waits until the sound settings dialog is closed"},
    {0xE90E0A19, "config_speed_dialog", sys_settings_dialog<SettingsDialogKind::Speed>, kNone,
     "-> int 0; waits until the speed settings dialog is closed"},
    {0x95FF28F2, "font_dialog", sys_font_dialog, kNone,
     "str face, int proportional -> str the face chosen in the font dialog"},
    {0x1EC3C6BB, "font_choice_set", sys_font_choice_set, kNone, "str face, int proportional -> int 0"},
    {0xC5270429, "font_choice", sys_font_choice, kNone, "-> str the chosen face"},
    {0xCD111B0E, "font_choice_allow", sys_font_choice_allow, kNone, "str face -> int 0; listed whatever its pitch"},
    {0xB3FFDFFA, "voice_setup_names", sys_voice_setup_names, kNone,
     "str names... -> int 0; up to 30 labels of the voice dialog (\"\": no box)"},
    {0x15D07DF8, "voice_setup_notes", sys_voice_setup_notes, kNone,
     "str notes... -> int 0; up to 15 note lines of the voice dialog"},
    {0x1F9F3D5A, "voice_setup_level", sys_voice_setup_level, kNone,
     "int index -> int VoiceSetupLvl of character 0-29; 0 while female voices are off"},
    {0x111BD910, "config_effect_speed", sys_setting<UserSetting::EffectSpeed>, kNone, "-> int EffectSpeed"},
    {0x02026AC6, "config_talk_male", sys_setting<UserSetting::TalkMale>, kNone, "-> int TalkMale"},
    {0x97BD691D, "config_talk_female", sys_setting<UserSetting::TalkFemale>, kNone, "-> int TalkFemale"},
    {0x0C93FCB4, "config_set_effect_speed", sys_set_setting<UserSetting::EffectSpeed>, kNone, "int value -> int 0"},
    {0x6501CC30, "config_set_text_speed", sys_set_setting<UserSetting::MojiSpeed>, kNone, "int value -> int 0"},
    {0x6ED38886, "config_set_auto_speed", sys_set_setting<UserSetting::AutoSpeed>, kNone, "int value -> int 0"},
    {0x072E738C, "config_set_sound_volume", sys_set_volume<UserSetting::SoundVolume>, kNone,
     "int value -> int 0; sound 1 follows"},
    {0x6EAEC2A0, "config_set_voice_volume", sys_set_volume<UserSetting::VoiceVolume>, kNone,
     "int value -> int 0; the voice follows"},
    {0x0C7A0E97, "config_set_music_volume", sys_set_volume<UserSetting::MusicVolume>, kNone,
     "int value -> int 0; the music follows"},
    {0xE5DCEF92, "config_voice_continue", sys_setting<UserSetting::VoiceContinue>, kNone, "-> int VoiceContinue"},
    {0x13C305DA, "config_voice_panning", sys_setting<UserSetting::VoicePanning>, kNone, "-> int VoicePanning"},
    {0xC692BE76, "config_voice_musicdown", sys_setting<UserSetting::VoiceMusicdown>, kNone, "-> int VoiceMusicdown"},
    {0xBFA74901, "config_voice_musicdown_vol", sys_setting<UserSetting::VoiceMusicdownVol>, kNone,
     "-> int VoiceMusicdownVol"},
    {0x68BA0964, "config_quickload_failsafe", sys_setting<UserSetting::QuickloadFailsafe>, kNone,
     "-> int QuickloadFailsafe"},
    {0xDDD25909, "config_quicksave_failsafe", sys_setting<UserSetting::QuicksaveFailsafe>, kNone,
     "-> int QuicksaveFailsafe"},
    {0x6FCB7185, "config_set_quickload_failsafe", sys_set_setting<UserSetting::QuickloadFailsafe>, kNone,
     "int value -> int 0"},
    {0xDAA321E8, "config_set_quicksave_failsafe", sys_set_setting<UserSetting::QuicksaveFailsafe>, kNone,
     "int value -> int 0"},
    {0x3513EE87, "config_font_anti", sys_setting<UserSetting::FontAnti>, kNone, "-> int FontAnti"},
    {0x735C88F1, "config_font_shadow", sys_setting<UserSetting::FontShadow>, kNone, "-> int FontShadow"},
    {0x22C23FA2, "config_font_outline", sys_setting<UserSetting::Fuchidori>, kNone, "-> int Fuchidori"},
    {0xF4F00701, "config_font_bold", sys_setting<UserSetting::FontBold>, kNone, "-> int FontBold"},
};

}  // namespace

std::span<const script::SyscallEntry> settings_syscalls() { return kSettingsSyscalls; }

}  // namespace tavelo::host
