// Settings accessors: defaults tables, the environment cache, registry values.

#include "resources/settings.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "resources/state.h"
#include "platform/text_encoding.h"

namespace tavelo::resources {
namespace {

struct EnvIntEntry {
  EnvInt key;
  std::string_view name;
  int32_t default_value;
};

constexpr EnvIntEntry kEnvInts[] = {
    {EnvInt::ClientWidth, "CLIENT_WIDTH", 640},
    {EnvInt::ClientHeight, "CLIENT_HEIGHT", 480},
    {EnvInt::SpaceIndent, "SPACEINDENT", 1},
    {EnvInt::IndentOffset, "INDENTOFFSET", 0},
    {EnvInt::NamePopup, "NAMEPOPUP", 1},
    {EnvInt::KinsokuType, "KINSOKU_TYPE", 0},
    {EnvInt::EffectSpeed, "EFFECTSPEED", 1000},
    {EnvInt::MojiSpeed, "MOJISPEED", 1000},
    {EnvInt::AutoSpeed, "AUTOSPEED", 1000},
    {EnvInt::MusicVolume, "MUSICVOL", 650},
    {EnvInt::VoiceVolume, "VOICEVOL", 1000},
    {EnvInt::SoundVolume, "SOUNDVOL", 650},
    {EnvInt::IsTalkMale, "ISTALKMALE", 1},
    {EnvInt::IsTalkFemale, "ISTALKFEMALE", 1},
    {EnvInt::IsPlayMusic, "ISPLAYMUSIC", 1},
    {EnvInt::IsPlaySound, "ISPLAYSOUND", 1},
    {EnvInt::GenderFree, "GENDERFREE", 0},
    {EnvInt::VoiceSkipDefault, "VOICESKIPDEF", 0},
    {EnvInt::IsVoiceContinue, "ISVOICECONTINUE", 0},
    {EnvInt::IsVoicePanning, "ISVOICEPANNING", 0},
    {EnvInt::NoUpdateOnWait0, "NOUPDATEONWAIT0", 0},
    {EnvInt::CtrlKeyDefault, "CTRLKEYDEF", 0},
    {EnvInt::AggressiveSkip, "AGGSKIP", 0},
    {EnvInt::MaxFps, "MAX_FPS", 1000},
    {EnvInt::FontCacheSmart, "FONTCACHESMART", 0},
    {EnvInt::FcWidth, "FC_WIDTH", 0},
    {EnvInt::FcHeight, "FC_HEIGHT", 0},
    {EnvInt::FcProportional, "FC_PROPORTIONAL", 0},
    {EnvInt::FcWidth2, "FC_WIDTH2", 0},
    {EnvInt::FcHeight2, "FC_HEIGHT2", 0},
    {EnvInt::FcProportional2, "FC_PROPORTIONAL2", 0},
    {EnvInt::IgnoreScreenMode, "IGNORESCREENMODE", 0},
    {EnvInt::DetectWideMonitor, "DETECTWIDEMONITOR", 1},
    {EnvInt::DefaultIsWide, "DEFAULTISWIDE", 0},
    {EnvInt::FitToScreen, "FITTOSCREEN", 0},
    {EnvInt::NekoMenu, "NEKOMENU", 0},
    {EnvInt::AkaMenu, "AKAMENU", 0},
    {EnvInt::StlMenu, "STLMENU", 0},
    {EnvInt::NoConfig, "NOCONFIG", 0},
    {EnvInt::UseExtraSetup, "USEEXTRASETUP", 0},
    {EnvInt::LoadSaveDisable, "LOADSAVEDISABLE", 0},
    {EnvInt::NoSaveAs, "NOSAVEAS", 0},
    {EnvInt::RetLastSelEnable, "RETLASTSEL_ENABLE", 0},
    {EnvInt::FontSel, "FONTSEL", 0},
    {EnvInt::VoiceSel, "VOICESEL", 0},
    {EnvInt::JoyUse, "JOYUSE", 0},
    {EnvInt::CaptureDisable, "CAPTUREDISABLE", 0},
    {EnvInt::FnDisable, "FNDISABLE", 0},
    {EnvInt::WideModeMenu, "WIDEMODEMENU", 0},
    {EnvInt::EraseOnSpace, "ERASEONSPACE", 0},
    {EnvInt::GuiExitDialog, "GUIEXITDLG", 0},
    {EnvInt::QuickloadFailsafe, "QUICKLOAD_FAILSAFE", 2},
    {EnvInt::QuicksaveFailsafe, "QUICKSAVE_FAILSAFE", 0},
};

// Section names and the caption are kept in 128-byte buffers.
constexpr size_t kShortText = 128;
// A value cannot be longer than an environment line anyway.
constexpr size_t kLongText = 512;

struct EnvTextEntry {
  EnvText key;
  std::string_view name;
  std::string_view default_utf8;  // converted to the game code page when used
  size_t size;
};

// An empty default means "not set"; the message window then uses its own
// line-breaking tables and the font cache its own fonts.
constexpr EnvTextEntry kEnvTexts[] = {
    {EnvText::RegGlobal, "REG_GLOBAL", "TAVELO_SYSTEM", kShortText},
    {EnvText::RegLocal, "REG_LOCAL", "TAVELO_RUNTIME", kShortText},
    {EnvText::Titlebar, "TITLEBAR", "ＴＡＶＥＬＯ　スクリプトエンジン", kShortText},
    {EnvText::GyoutouKinsoku, "GYOUTOUKINSOKU", "", kLongText},
    {EnvText::GyoumatuKinsoku, "GYOUMATUKINSOKU", "", kLongText},
    {EnvText::AltGender, "ALTGENDER", "-", kLongText},
    {EnvText::FcName, "FC_NAME", "", kLongText},
    {EnvText::FcName2, "FC_NAME2", "", kLongText},
    {EnvText::CaptureName, "CAPTURE_NAME", "Capture_", kLongText},
    {EnvText::HelpFile, "HELP_FILE", "none", kLongText},
    {EnvText::AppName, "APPNAME", "ＴＡＶＥＬＯ　スクリプトエンジン", kLongText},
    {EnvText::Version, "VERSION", "Build Thu Nov 20 23:36:52 2008", kLongText},
    {EnvText::Url, "URL", "", kLongText},
    {EnvText::SupportUrl, "SUPPORTURL", "", kLongText},
    {EnvText::SupportString, "SUPPORTSTR", "", kLongText},
};

// A registry value whose default is a constant, or an environment key when
// environment_default is not Count. Values read outside minimum..maximum are
// clamped: the file may have been edited by hand, so nothing read is
// trusted. The speeds' maximum grows with their default (default_multiple
// times it), so a game whose default is slow can still be slowed down five
// times over, as the combined dialog's sliders allow.
struct UserSettingEntry {
  UserSetting setting;
  std::string_view name;
  int32_t default_value;
  EnvInt environment_default = EnvInt::Count;
  int32_t minimum = INT32_MIN;
  int32_t maximum = INT32_MAX;
  int32_t default_multiple = 0;
};

constexpr UserSettingEntry kUserSettings[] = {
    {UserSetting::AbnormalTerminateFlg, "AbnormalTerminateFlg", 0},
    {UserSetting::WinStat, "WinStat", 0},
    {UserSetting::WinPosX, "WinPosX", -9999},
    {UserSetting::WinPosY, "WinPosY", -9999},
    {UserSetting::SaveScreenpos, "SaveScreenpos", 1, EnvInt::Count, 0, 1},
    {UserSetting::Topmost, "TOPMOST", 0},
    {UserSetting::Nanido, "NANIDO", 0, EnvInt::Count, 0, 4},
    {UserSetting::GameSpeed, "GameSpeed", 1, EnvInt::Count, 0, 3},
    {UserSetting::FullScFreq, "FullScFreq", 0},
    {UserSetting::FullScBits, "FullScBits", 0},
    {UserSetting::FullScreenFit, "FullScreenFit", 0},
    {UserSetting::FullScWide5, "FullScWide5", -1},
    {UserSetting::WideMode, "WideMode", 0},
    {UserSetting::RegWidth3, "RegWidth3", 0},
    {UserSetting::RegHeight3, "RegHeight3", 0},
    {UserSetting::QuickNum, "QuickNum", 0},
    {UserSetting::QuickloadFailsafe, "QuickloadFailsafe", 0, EnvInt::QuickloadFailsafe, 0, 2},
    {UserSetting::QuicksaveFailsafe, "QuicksaveFailsafe", 0, EnvInt::QuicksaveFailsafe, 0, 2},
    {UserSetting::JoyUse, "JoyUse", 0},
    {UserSetting::EffectSpeed, "EffectSpeed", 0, EnvInt::EffectSpeed, 0, 5000, 5},
    {UserSetting::MojiSpeed, "MojiSpeed", 0, EnvInt::MojiSpeed, 0, 5000, 5},
    {UserSetting::AutoSpeed, "AutoSpeed", 0, EnvInt::AutoSpeed, 0, 5000, 5},
    {UserSetting::MusicVolume, "MusicVolume", 0, EnvInt::MusicVolume, 0, 1000},
    {UserSetting::VoiceVolume, "VoiceVolume", 0, EnvInt::VoiceVolume, 0, 1000},
    {UserSetting::SoundVolume, "SoundVolume", 0, EnvInt::SoundVolume, 0, 1000},
    {UserSetting::TalkMale, "TalkMale", 0, EnvInt::IsTalkMale, 0, 1},
    {UserSetting::TalkFemale, "TalkFemale", 0, EnvInt::IsTalkFemale, 0, 1},
    {UserSetting::PlayMusic, "PlayMusic", 0, EnvInt::IsPlayMusic, 0, 1},
    {UserSetting::PlaySound, "PlaySound", 0, EnvInt::IsPlaySound, 0, 1},
    {UserSetting::VoiceContinue, "VoiceContinue", 0, EnvInt::IsVoiceContinue, 0, 1},
    {UserSetting::VoicePanning, "VoicePanning", 0, EnvInt::IsVoicePanning, 0, 1},
    {UserSetting::VoiceMusicdown, "VoiceMusicdown", 0, EnvInt::Count, 0, 1},
    {UserSetting::VoiceMusicdownVol, "VoiceMusicdownVol", 500, EnvInt::Count, 0, 1000},
    {UserSetting::FontAnti, "FontAnti", 1, EnvInt::Count, 0, 1},
    {UserSetting::FontShadow, "FontShadow", 1, EnvInt::Count, 0, 1},
    {UserSetting::Fuchidori, "Fuchidori", 1, EnvInt::Count, 0, 1},
    {UserSetting::FontBold, "FontBold", 0, EnvInt::Count, 0, 1},
    {UserSetting::ConfigLastPage, "CONFIG_LASTPAGE", 0, EnvInt::Count, 0, 3},
    {UserSetting::KeepFastSkip, "KEEPFASTSKIP", 0, EnvInt::Count, 0, 1},
    {UserSetting::HOnseiMale, "HOnseiMale", 0, EnvInt::Count, 0, 1},
    {UserSetting::HOnseiFemale, "HOnseiFemale", 0, EnvInt::Count, 0, 1},
    {UserSetting::HSceneNormal, "HSceneNormal", 0, EnvInt::Count, 0, 2},
    {UserSetting::HSceneYuri, "HSceneYuri", 0, EnvInt::Count, 0, 2},
    {UserSetting::KokkaWait, "KokkaWait", 0, EnvInt::Count, 0, 1},
    {UserSetting::SpkCont, "SpkCont", 0, EnvInt::Count, 0, 1},
    {UserSetting::WindowColor, "WindowColor", 0, EnvInt::Count, 0, 7},
    {UserSetting::LoadSaveDlgNumBase, "LOADSAVEDLG_NumBase", 101},
    {UserSetting::ReprotNoVoice, "ReprotNoVoice", 0},
    {UserSetting::ReprotNoPic, "ReprotNoPic", 0},
    {UserSetting::LogNoVoice, "LogNoVoice", 1},
    {UserSetting::LogNoPic, "LogNoPic", 1},
    {UserSetting::AutoOpenErrorLine, "AutoOpenErrorLine", 1},
    {UserSetting::FastVoicePlay, "FastVoicePlay", 0},
    {UserSetting::AbnormalMovieTerminateFlg, "AbnormalMovieTerminateFlg", 0},
    {UserSetting::MovieDisableMenu, "MovieDisableMenu", 0},
    {UserSetting::FullScreenScaling, "FullScreenScaling", 0, EnvInt::Count, 0, 2},
    {UserSetting::FullScreenExclusive, "FullScreenExclusive", 0},
};

struct UserTextEntry {
  UserText setting;
  std::string_view name;
  std::string_view default_text;  // ASCII, the same in every code page
};

// Both are kept in 260-byte buffers.
constexpr size_t kUserTextSize = 260;

constexpr UserTextEntry kUserTexts[] = {
    {UserText::WatchList, "WatchList", ""},
    {UserText::Editor, "Editor", "none"},
};

// Each table is indexed by its enum; this keeps entries and enums in step.
template <typename Entry, typename Key>
constexpr bool keyed_in_order(const Entry (&table)[size_t(Key::Count)], Key Entry::*key) {
  for (size_t i = 0; i < size_t(Key::Count); ++i) {
    if (size_t(table[i].*key) != i) return false;
  }
  return true;
}
static_assert(keyed_in_order<EnvIntEntry, EnvInt>(kEnvInts, &EnvIntEntry::key));
static_assert(keyed_in_order<EnvTextEntry, EnvText>(kEnvTexts, &EnvTextEntry::key));
static_assert(keyed_in_order<UserSettingEntry, UserSetting>(kUserSettings, &UserSettingEntry::setting));
static_assert(keyed_in_order<UserTextEntry, UserText>(kUserTexts, &UserTextEntry::setting));

int32_t default_of(State& state, const UserSettingEntry& entry) {
  if (entry.environment_default != EnvInt::Count) return env_setting(state, entry.environment_default);
  return entry.default_value;
}

SettingRange range_of(State& state, const UserSettingEntry& entry) {
  SettingRange range{entry.minimum, entry.maximum};
  if (entry.default_multiple > 0) {
    int64_t scaled = int64_t(default_of(state, entry)) * entry.default_multiple;
    range.maximum = int32_t(std::clamp<int64_t>(scaled, entry.maximum, INT32_MAX));
  }
  return range;
}

constexpr int32_t kDefaultVoiceLevel = 1000;

std::string voice_level_name(int index) { return "VoiceSetupLvl" + std::to_string(index); }

bool same_value_name(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

// Any write of a value that went through (a script's too) makes the store
// its source again. Value names do not tell ASCII case apart.
SettingsWrite forget_unwritten(State& state, std::string_view name, SettingsWrite result) {
  if (result == SettingsWrite::Written) {
    std::erase_if(state.settings.unwritten, [&](const auto& kept) { return same_value_name(kept.first, name); });
  }
  return result;
}

// A write of a user setting that failed keeps its value for the run.
SettingsWrite note_write(State& state, std::string_view name, std::string_view text, SettingsWrite result) {
  if (result != SettingsWrite::Written) state.settings.unwritten[std::string(name)] = std::string(text);
  return forget_unwritten(state, name, result);
}

SettingsWrite note_writes(State& state, std::span<const SettingsAssignment> assignments, SettingsWrite result) {
  for (const SettingsAssignment& assignment : assignments) note_write(state, assignment.name, assignment.value, result);
  return result;
}

std::optional<int32_t> unwritten_int(const State& state, std::string_view name) {
  auto kept = state.settings.unwritten.find(name);
  if (kept == state.settings.unwritten.end()) return std::nullopt;
  return parse_leading_int(kept->second);
}

}  // namespace

void forget_environment_values(SettingsCache& cache) {
  cache.ints = {};
  cache.texts = {};
}

std::string_view environment_key_name(EnvInt key) { return kEnvInts[size_t(key)].name; }
std::string_view environment_key_name(EnvText key) { return kEnvTexts[size_t(key)].name; }
std::string_view registry_value_name(UserSetting setting) { return kUserSettings[size_t(setting)].name; }
std::string_view registry_value_name(UserText setting) { return kUserTexts[size_t(setting)].name; }

int32_t env_setting(State& state, EnvInt key) {
  std::optional<int32_t>& cached = state.settings.ints[size_t(key)];
  if (!cached) {
    const EnvIntEntry& entry = kEnvInts[size_t(key)];
    cached = env_int(state.environment, entry.name, entry.default_value);
  }
  return *cached;
}

const std::string& env_setting_text(State& state, EnvText key) {
  std::string& cached = state.settings.texts[size_t(key)];
  if (cached.empty()) {
    const EnvTextEntry& entry = kEnvTexts[size_t(key)];
    std::string default_text = state.encoding.from_utf8_lossy(entry.default_utf8);
    cached = env_text(state.environment, state.encoding.lead_bytes(), entry.name, entry.size, default_text);
  }
  return cached;
}

SettingsLocation settings_location(State& state) {
  SettingsCache& cache = state.settings;
  if (cache.store_directory.empty()) {
    cache.store_directory = settings_directory_from_environment().value_or(std::string());
  }
  const std::string& global_section = env_setting_text(state, EnvText::RegGlobal);
  const std::string& local_section = env_setting_text(state, EnvText::RegLocal);
  return {state.encoding, cache.store_directory, global_section, local_section};
}

int32_t reg_read_int(State& state, std::string_view name, int32_t default_value) {
  return reg_read_int(settings_location(state), name, default_value);
}

RegistryText reg_read_text(State& state, std::string_view name, std::string_view default_text,
                                      size_t size) {
  return reg_read_text(settings_location(state), name, default_text, size);
}

SettingsWrite reg_write_int(State& state, std::string_view name, int32_t value) {
  return forget_unwritten(state, name, reg_write_int(settings_location(state), name, value));
}

SettingsWrite reg_write_text(State& state, std::string_view name, std::string_view text) {
  return forget_unwritten(state, name, reg_write_text(settings_location(state), name, text));
}

SettingsWrite reg_write_text_flushed(State& state, std::string_view name, std::string_view text) {
  return forget_unwritten(state, name, reg_write_text_flushed(settings_location(state), name, text));
}

int32_t default_user_setting(State& state, UserSetting setting) {
  const UserSettingEntry& entry = kUserSettings[size_t(setting)];
  return clamp_user_setting(state, setting, default_of(state, entry));
}

SettingRange user_setting_range(State& state, UserSetting setting) {
  return range_of(state, kUserSettings[size_t(setting)]);
}

int32_t clamp_user_setting(State& state, UserSetting setting, int32_t value) {
  SettingRange range = user_setting_range(state, setting);
  return std::clamp(value, range.minimum, range.maximum);
}

int32_t read_user_setting(State& state, UserSetting setting) {
  const UserSettingEntry& entry = kUserSettings[size_t(setting)];
  std::optional<int32_t> value = unwritten_int(state, entry.name);
  if (!value) value = reg_read_int(state, entry.name, default_of(state, entry));
  return clamp_user_setting(state, setting, *value);
}

SettingsWrite write_user_setting(State& state, UserSetting setting, int32_t value) {
  const std::string_view name = kUserSettings[size_t(setting)].name;
  const int32_t clamped = clamp_user_setting(state, setting, value);
  return note_write(state, name, std::to_string(clamped), reg_write_int(state, name, clamped));
}

std::string read_user_text(State& state, UserText setting) {
  const UserTextEntry& entry = kUserTexts[size_t(setting)];
  auto kept = state.settings.unwritten.find(entry.name);
  if (kept != state.settings.unwritten.end()) return kept->second;
  return reg_read_text(state, entry.name, entry.default_text, kUserTextSize).text;
}

SettingsWrite write_user_text(State& state, UserText setting, std::string_view text) {
  const std::string_view name = kUserTexts[size_t(setting)].name;
  const std::string kept(text.substr(0, kUserTextSize - 1));
  return note_write(state, name, kept, reg_write_text(state, name, text));
}

int32_t read_voice_level(State& state, int index) {
  if (index < 0 || index >= kVoiceSetupLevels) return kDefaultVoiceLevel;
  const std::string name = voice_level_name(index);
  std::optional<int32_t> value = unwritten_int(state, name);
  if (!value) value = reg_read_int(state, name, kDefaultVoiceLevel);
  return std::clamp(*value, 0, kDefaultVoiceLevel);
}

SettingsWrite write_voice_level(State& state, int index, int32_t value) {
  if (index < 0 || index >= kVoiceSetupLevels) return SettingsWrite::Failed;
  const std::string name = voice_level_name(index);
  const int32_t clamped = std::clamp(value, 0, kDefaultVoiceLevel);
  return note_write(state, name, std::to_string(clamped), reg_write_int(state, name, clamped));
}

SettingsWrite write_voice_levels(State& state, std::span<const int32_t, kVoiceSetupLevels> levels) {
  std::vector<std::string> names;
  std::vector<std::string> texts;
  std::vector<SettingsAssignment> assignments;
  for (int index = 0; index < kVoiceSetupLevels; ++index) {
    names.push_back(voice_level_name(index));
    texts.push_back(std::to_string(std::clamp(levels[size_t(index)], 0, kDefaultVoiceLevel)));
  }
  for (size_t i = 0; i < names.size(); ++i) assignments.push_back({names[i], texts[i]});
  return note_writes(state, assignments, write_string_values(settings_location(state), assignments));
}

SettingsWrite write_user_settings(State& state, std::span<const UserSettingValue> values) {
  std::vector<std::string> texts;
  std::vector<SettingsAssignment> assignments;
  texts.reserve(values.size());
  for (const UserSettingValue& value : values) {
    texts.push_back(std::to_string(clamp_user_setting(state, value.setting, value.value)));
  }
  for (size_t i = 0; i < values.size(); ++i) assignments.push_back({registry_value_name(values[i].setting), texts[i]});
  return note_writes(state, assignments, write_string_values(settings_location(state), assignments));
}

SettingsWrite write_exit_settings(State& state, const ExitSettings& settings) {
  const UserSettingValue values[] = {
      {UserSetting::AbnormalTerminateFlg, 0},
      {UserSetting::WinStat, settings.window_state},
      {UserSetting::Nanido, settings.difficulty},
      {UserSetting::GameSpeed, settings.game_speed},
      {UserSetting::Topmost, settings.topmost},
      {UserSetting::FullScFreq, settings.full_screen_frequency},
      {UserSetting::FullScBits, settings.full_screen_bits},
      {UserSetting::WinPosX, settings.window_x},
      {UserSetting::WinPosY, settings.window_y},
  };
  return write_user_settings(state, values);
}

}  // namespace tavelo::resources
