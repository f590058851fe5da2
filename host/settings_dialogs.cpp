// The settings dialogs as the engine runs them.

#include "host/settings_dialogs.h"

#include <algorithm>

#include "audio/channels.h"
#include "host/engine.h"
#include "host/state.h"
#include "platform/text_encoding.h"
#include "resources/multibyte.h"
#include "resources/settings.h"
#include "resources/state.h"
#include "script/state.h"
#include "text/reading.h"
#include "text/state.h"

namespace tavelo::host {
namespace {

using dialogs::SettingsDialogKind;
using dialogs::SettingsPage;
using resources::EnvInt;
using resources::EnvText;

// The chosen face is kept in 260 bytes.
constexpr size_t kFaceLimit = 259;
constexpr std::string_view kFastModeFlag = "FastModeFlg_AR";
// The quick-load question's default that hides both quick questions.
constexpr int32_t kQuestionsHidden = 2;

std::string utf8_of(Engine& engine, std::string_view game_text) { return engine.encoding.to_utf8_lossy(game_text); }

// The skip state's FastModeFlg_AR, read from the store on first use.
int32_t fast_mode_read_only(Engine& engine) {
  std::optional<int32_t>& flag = engine.script.skip.fast_mode_read_only;
  if (!flag) flag = resources::reg_read_int(engine.resources, kFastModeFlag, 0);
  return *flag;
}

// ALTGENDER names the male voices' box and makes the female box plain
// "音声をＯＦＦ"; without it, GENDERFREE removes the male box.
void label_voice_boxes(Engine& engine, dialogs::SettingsLayout& layout) {
  resources::State& resources = engine.resources;
  const std::string& alternative = resources::env_setting_text(resources, EnvText::AltGender);
  if (alternative != "-") {
    layout.male_label = utf8_of(engine, alternative);
    layout.female_label = "音声をＯＦＦ";
  } else if (resources::env_setting(resources, EnvInt::GenderFree) != 0) {
    layout.male_label.clear();
    layout.female_label = "音声をＯＦＦ";
  }
}

bool has_page(const dialogs::SettingsDialog& dialog, SettingsPage page) {
  std::span<const SettingsPage> pages = dialog.pages();
  return std::find(pages.begin(), pages.end(), page) != pages.end();
}

void end_music_preview(Engine& engine) {
  SettingsDialogState& state = engine.host.settings_dialogs;
  if (!state.previewed_music_volume) return;
  state.previewed_music_volume.reset();
  audio::preview_music_volume(engine.audio,
                              resources::read_user_setting(engine.resources, resources::UserSetting::MusicVolume));
}

}  // namespace

std::vector<std::string> listed_faces(Engine& engine) {
  SettingsDialogState& state = engine.host.settings_dialogs;
  // The game text's character set decides which faces can draw it.
  std::string_view language = engine.encoding.code_page() == "GBK" ? "zh-cn" : "ja";
  std::string allowed = utf8_of(engine, state.allowed_face);
  std::vector<std::string> faces;
  for (platform::FontFace& face : platform::list_font_faces(state.fonts, language)) {
    // Vertical-writing faces ("@...") never suit message text.
    if (face.family.starts_with('@')) continue;
    bool listed = face.family == allowed || state.proportional != 0 || face.fixed_pitch;
    if (listed) faces.push_back(std::move(face.family));
  }
  return faces;
}

std::shared_ptr<dialogs::SettingsDialog> make_settings_dialog(Engine& engine, SettingsDialogKind kind) {
  resources::State& resources = engine.resources;
  SettingsDialogState& state = engine.host.settings_dialogs;
  dialogs::SettingsValues values = dialogs::read_settings_values(resources, fast_mode_read_only(engine));
  dialogs::SettingsValues defaults = dialogs::default_settings_values(resources);
  values.screen = read_screen_options(engine);
  state.stored_music_volume = values.music_volume;
  values.face = utf8_of(engine, state.face);
  defaults.face = values.face;
  defaults.ctrl_read_only = values.ctrl_read_only;

  dialogs::SettingsLayout layout;
  label_voice_boxes(engine, layout);
  layout.ctrl_option = resources::env_setting(resources, EnvInt::CtrlKeyDefault) != 0;
  layout.quick_questions = resources::env_setting(resources, EnvInt::QuickloadFailsafe) != kQuestionsHidden;
  layout.speed_defaults = {resources::env_setting(resources, EnvInt::EffectSpeed),
                           resources::env_setting(resources, EnvInt::MojiSpeed),
                           resources::env_setting(resources, EnvInt::AutoSpeed)};
  if (kind == SettingsDialogKind::Font || kind == SettingsDialogKind::Combined) {
    layout.faces = listed_faces(engine);
    // The current face is selected, else the first entry.
    if (std::find(layout.faces.begin(), layout.faces.end(), values.face) == layout.faces.end() &&
        !layout.faces.empty()) {
      values.face = layout.faces.front();
    }
  }
  for (size_t i = 0; i < state.voice_names.size(); ++i) layout.voice_names[i] = utf8_of(engine, state.voice_names[i]);
  for (size_t i = 0; i < state.voice_notes.size(); ++i) layout.voice_notes[i] = utf8_of(engine, state.voice_notes[i]);
  return std::make_shared<dialogs::SettingsDialog>(kind, std::move(values), std::move(defaults), std::move(layout));
}

void follow_settings_dialog(Engine& engine, const dialogs::SettingsDialog& dialog) {
  if (!has_page(dialog, SettingsPage::Sound)) return;
  SettingsDialogState& state = engine.host.settings_dialogs;
  int32_t volume = dialog.values().music_volume;
  // Compared with what the dialog opened with: the store is not read again
  // every frame.
  int32_t applied = state.previewed_music_volume.value_or(state.stored_music_volume);
  if (volume == applied) return;
  state.previewed_music_volume = volume;
  audio::preview_music_volume(engine.audio, volume);
}

void finish_settings_dialog(Engine& engine, const dialogs::SettingsDialog& dialog, bool accepted) {
  resources::State& resources = engine.resources;
  const dialogs::SettingsValues& values = dialog.values();
  if (dialog.kind() == SettingsDialogKind::Combined) {
    (void)resources::write_user_setting(resources, resources::UserSetting::ConfigLastPage, values.last_page);
  }
  // Cancel puts the music back at the stored volume: the slider only
  // previewed it.
  if (!accepted) {
    end_music_preview(engine);
    return;
  }
  engine.host.settings_dialogs.previewed_music_volume.reset();
  bool sound_changed = false;
  for (SettingsPage page : dialog.pages()) {
    switch (page) {
      case SettingsPage::Screen:
        apply_screen_options(engine, values.screen);
        engine.platform.set_topmost(engine.host.window.topmost || engine.host.display.full_screen);
        continue;
      case SettingsPage::Font:
        engine.host.settings_dialogs.face = resources::cut_game_text(
            resources.lead_bytes, engine.encoding.from_utf8_lossy(values.face), kFaceLimit);
        break;
      case SettingsPage::Speed:
        if (resources::env_setting(resources, EnvInt::CtrlKeyDefault) != 0) {
          engine.script.skip.fast_mode_read_only = values.ctrl_read_only ? 1 : 0;
          (void)resources::reg_write_int(resources, kFastModeFlag, values.ctrl_read_only ? 1 : 0);
        }
        break;
      case SettingsPage::Sound:
      case SettingsPage::Voice: sound_changed = true; break;
      default: break;
    }
    dialogs::write_page(resources, page, values);
  }
  if (sound_changed) audio::apply_sound_settings(engine.audio, engine.script);
  text::refresh_text_modes(engine.text, engine.resources);
}

}  // namespace tavelo::host
