#pragma once
// The user settings the settings dialogs edit, as one plain record, and the
// pages that own them: which values a page reads from the settings store,
// resets to their defaults ("初期化") and writes back when the player
// accepts. The host fills a record when it opens a dialog, the dialog edits
// it, and the host writes the pages of the dialog back on OK and tells the
// audio channels and the skip state (dialogs/settings_dialog.h draws them).

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "dialogs/screen_options_dialog.h"
#include "resources/settings.h"

namespace tavelo::resources {
struct State;
}

namespace tavelo::dialogs {

// Pages of the settings dialogs; the combined dialog holds the first four.
enum class SettingsPage : uint8_t { Speed, Sound, Screen, Font, Voice, Extra, Count };

struct SettingsValues {
  // Sound
  int32_t voice_volume = 1000;  // 0..1000
  int32_t music_volume = 650;
  int32_t sound_volume = 650;
  bool talk_male = true;
  bool talk_female = true;
  bool play_music = true;
  bool play_sound = true;
  bool voice_continue = false;   // VoiceContinue
  bool voice_panning = false;    // VoicePanning
  bool voice_musicdown = false;  // VoiceMusicdown
  int32_t voice_musicdown_volume = 500;
  // Speed (larger is slower)
  int32_t effect_speed = 1000;
  int32_t text_speed = 1000;  // MojiSpeed
  int32_t auto_speed = 1000;
  bool ctrl_read_only = false;  // FastModeFlg_AR: the CTRL skip skips read text only
  bool keep_fast_skip = false;  // KEEPFASTSKIP
  bool quickload_failsafe = false;
  bool quicksave_failsafe = false;
  // Font
  bool font_anti = true;
  bool font_shadow = true;
  bool font_outline = true;  // Fuchidori
  bool font_bold = false;
  std::string face;  // UTF-8; the chosen face
  // Text modes: the alphabetic layout (TextLayout) and each page's text to
  // the clipboard and a local WebSocket port; reading aloud is on the
  // sound page.
  bool text_layout_alphabetic = false;
  bool text_to_clipboard = false;
  bool text_to_socket = false;
  int32_t text_socket_port = 6677;
  bool read_aloud = false;
  // Voices: per-character level (0 = that voice off); the voice page's
  // "音声は全てOFF" is talk_female switched off.
  std::array<int32_t, resources::kVoiceSetupLevels> voice_levels{};
  // Extra options: radio-group indices and the two voice cuts
  int32_t window_color = 0;   // 0..7
  int32_t kokka_wait = 0;     // 0..1
  int32_t speaker_click = 0;  // SpkCont 0..1
  int32_t scene_normal = 0;   // HSceneNormal 0..2
  int32_t scene_yuri = 0;     // HSceneYuri 0..2
  bool voice_cut_male = false;
  bool voice_cut_female = false;
  // The screen page
  ScreenOptions screen;
  // The combined dialog's tab (CONFIG_LASTPAGE 0..3)
  int32_t last_page = 0;

  bool operator==(const SettingsValues&) const = default;
};

// Everything as the store holds it (defaults where it holds nothing). The
// face and the screen options' engine-held parts are the caller's to fill;
// fast_mode_read_only is the skip state's current FastModeFlg_AR.
SettingsValues read_settings_values(resources::State& resources, int32_t fast_mode_read_only);

// Every value at its default (the environment's or the fixed one): what
// "初期化" restores. The face is left empty.
SettingsValues default_settings_values(resources::State& resources);

// Copies the values a page owns ("初期化" copies them from the defaults).
void copy_page(SettingsPage page, const SettingsValues& from, SettingsValues& to);

// Writes a page's values with one replacement of the file. The screen page
// and the font face are not stored here (the screen options belong to the
// display modes, the face to the font choice); FastModeFlg_AR is stored by
// the caller with the skip state.
void write_page(resources::State& resources, SettingsPage page, const SettingsValues& values);

}  // namespace tavelo::dialogs
