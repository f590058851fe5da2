// The settings dialogs' values and the pages that own them.

#include "dialogs/settings_values.h"

#include <vector>

#include "resources/settings.h"
#include "resources/state.h"

namespace tavelo::dialogs {
namespace {

using resources::UserSetting;

// Every stored value a page owns, with the field that holds it. Numbers and
// switches go through the store's range table when read and written.
struct IntField {
  SettingsPage page;
  UserSetting setting;
  int32_t SettingsValues::*field;
};
struct SwitchField {
  SettingsPage page;
  UserSetting setting;
  bool SettingsValues::*field;
};

constexpr IntField kIntFields[] = {
    {SettingsPage::Sound, UserSetting::VoiceVolume, &SettingsValues::voice_volume},
    {SettingsPage::Sound, UserSetting::MusicVolume, &SettingsValues::music_volume},
    {SettingsPage::Sound, UserSetting::SoundVolume, &SettingsValues::sound_volume},
    {SettingsPage::Sound, UserSetting::VoiceMusicdownVol, &SettingsValues::voice_musicdown_volume},
    {SettingsPage::Speed, UserSetting::EffectSpeed, &SettingsValues::effect_speed},
    {SettingsPage::Speed, UserSetting::MojiSpeed, &SettingsValues::text_speed},
    {SettingsPage::Speed, UserSetting::AutoSpeed, &SettingsValues::auto_speed},
    {SettingsPage::Extra, UserSetting::WindowColor, &SettingsValues::window_color},
    {SettingsPage::Extra, UserSetting::KokkaWait, &SettingsValues::kokka_wait},
    {SettingsPage::Extra, UserSetting::SpkCont, &SettingsValues::speaker_click},
    {SettingsPage::Extra, UserSetting::HSceneNormal, &SettingsValues::scene_normal},
    {SettingsPage::Extra, UserSetting::HSceneYuri, &SettingsValues::scene_yuri},
    {SettingsPage::Font, UserSetting::TextSocketPort, &SettingsValues::text_socket_port},
};

constexpr SwitchField kSwitchFields[] = {
    {SettingsPage::Sound, UserSetting::TalkMale, &SettingsValues::talk_male},
    {SettingsPage::Sound, UserSetting::TalkFemale, &SettingsValues::talk_female},
    {SettingsPage::Sound, UserSetting::PlayMusic, &SettingsValues::play_music},
    {SettingsPage::Sound, UserSetting::PlaySound, &SettingsValues::play_sound},
    {SettingsPage::Sound, UserSetting::VoiceContinue, &SettingsValues::voice_continue},
    {SettingsPage::Sound, UserSetting::VoicePanning, &SettingsValues::voice_panning},
    {SettingsPage::Sound, UserSetting::VoiceMusicdown, &SettingsValues::voice_musicdown},
    {SettingsPage::Speed, UserSetting::KeepFastSkip, &SettingsValues::keep_fast_skip},
    {SettingsPage::Speed, UserSetting::QuickloadFailsafe, &SettingsValues::quickload_failsafe},
    {SettingsPage::Speed, UserSetting::QuicksaveFailsafe, &SettingsValues::quicksave_failsafe},
    {SettingsPage::Font, UserSetting::FontAnti, &SettingsValues::font_anti},
    {SettingsPage::Font, UserSetting::FontShadow, &SettingsValues::font_shadow},
    {SettingsPage::Font, UserSetting::Fuchidori, &SettingsValues::font_outline},
    {SettingsPage::Font, UserSetting::FontBold, &SettingsValues::font_bold},
    {SettingsPage::Voice, UserSetting::TalkFemale, &SettingsValues::talk_female},
    {SettingsPage::Extra, UserSetting::HOnseiMale, &SettingsValues::voice_cut_male},
    {SettingsPage::Extra, UserSetting::HOnseiFemale, &SettingsValues::voice_cut_female},
    {SettingsPage::Sound, UserSetting::ReadAloud, &SettingsValues::read_aloud},
    {SettingsPage::Font, UserSetting::TextLayout, &SettingsValues::text_layout_alphabetic},
    {SettingsPage::Font, UserSetting::TextToClipboard, &SettingsValues::text_to_clipboard},
    {SettingsPage::Font, UserSetting::TextToSocket, &SettingsValues::text_to_socket},
};

// A character's voice level when its box is not ticked.
constexpr int32_t kVoiceOn = 1000;

// Written by the voice page beside TalkFemale; only scripts read it.
constexpr std::string_view kIsTalkFemale = "IsTalkFemale";

// The quick-load question keeps 2 ("option hidden") when its box is not
// shown; a ticked or cleared box stores 1 or 0.
int32_t failsafe_value(resources::State& resources, UserSetting setting, bool asked) {
  if (resources::env_setting(resources, resources::EnvInt::QuickloadFailsafe) == 2) {
    return resources::read_user_setting(resources, setting);
  }
  return asked ? 1 : 0;
}

}  // namespace

SettingsValues read_settings_values(resources::State& resources, int32_t fast_mode_read_only) {
  SettingsValues values;
  for (const IntField& field : kIntFields) values.*field.field = resources::read_user_setting(resources, field.setting);
  for (const SwitchField& field : kSwitchFields) {
    values.*field.field = resources::read_user_setting(resources, field.setting) != 0;
  }
  for (int i = 0; i < resources::kVoiceSetupLevels; ++i) values.voice_levels[size_t(i)] = resources::read_voice_level(resources, i);
  values.ctrl_read_only = fast_mode_read_only != 0;
  values.last_page = resources::read_user_setting(resources, UserSetting::ConfigLastPage);
  return values;
}

SettingsValues default_settings_values(resources::State& resources) {
  SettingsValues values;
  for (const IntField& field : kIntFields) values.*field.field = resources::default_user_setting(resources, field.setting);
  for (const SwitchField& field : kSwitchFields) {
    values.*field.field = resources::default_user_setting(resources, field.setting) != 0;
  }
  values.voice_levels.fill(kVoiceOn);
  values.ctrl_read_only = false;
  values.screen = ScreenOptions{};
  return values;
}

void copy_page(SettingsPage page, const SettingsValues& from, SettingsValues& to) {
  for (const IntField& field : kIntFields) {
    if (field.page == page) to.*field.field = from.*field.field;
  }
  for (const SwitchField& field : kSwitchFields) {
    if (field.page == page) to.*field.field = from.*field.field;
  }
  switch (page) {
    case SettingsPage::Voice: to.voice_levels = from.voice_levels; break;
    case SettingsPage::Speed: to.ctrl_read_only = from.ctrl_read_only; break;
    case SettingsPage::Screen: to.screen = from.screen; break;
    default: break;
  }
}

void write_page(resources::State& resources, SettingsPage page, const SettingsValues& values) {
  std::vector<resources::UserSettingValue> stored;
  for (const IntField& field : kIntFields) {
    if (field.page == page) stored.push_back({field.setting, values.*field.field});
  }
  for (const SwitchField& field : kSwitchFields) {
    if (field.page != page) continue;
    int32_t value = values.*field.field ? 1 : 0;
    if (field.setting == UserSetting::QuickloadFailsafe || field.setting == UserSetting::QuicksaveFailsafe) {
      value = failsafe_value(resources, field.setting, values.*field.field);
    }
    stored.push_back({field.setting, value});
  }
  // Registry failures are ignored: the settings keep their stored values.
  if (!stored.empty()) (void)resources::write_user_settings(resources, stored);
  if (page == SettingsPage::Voice) {
    (void)resources::reg_write_int(resources, kIsTalkFemale, values.talk_female ? 1 : 0);
    (void)resources::write_voice_levels(resources, values.voice_levels);
  }
}

}  // namespace tavelo::dialogs
