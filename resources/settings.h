#pragma once
// Settings accessors. Environment keys: each read once from the environment
// table and cached per engine (SettingsCache in resources::State). Registry
// values: read from and written to the settings store under the game's
// section pair (REG_GLOBAL / REG_LOCAL), each with its default, which for the
// user settings is often an environment key. Also the writes made at exit.
// Called by start-up, the main window, dialogs, audio, text and scripts.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "resources/settings_store.h"

namespace tavelo::resources {

struct State;

// Integer environment keys (the key names are in environment_key_name()).
enum class EnvInt : uint8_t {
  ClientWidth, ClientHeight, SpaceIndent, IndentOffset, NamePopup, KinsokuType,
  EffectSpeed, MojiSpeed, AutoSpeed, MusicVolume, VoiceVolume, SoundVolume,
  IsTalkMale, IsTalkFemale, IsPlayMusic, IsPlaySound, GenderFree, VoiceSkipDefault,
  IsVoiceContinue, IsVoicePanning, NoUpdateOnWait0, CtrlKeyDefault, AggressiveSkip, MaxFps,
  FontCacheSmart, FcWidth, FcHeight, FcProportional, FcWidth2, FcHeight2, FcProportional2,
  IgnoreScreenMode, DetectWideMonitor, DefaultIsWide, FitToScreen,
  NekoMenu, AkaMenu, StlMenu, NoConfig, UseExtraSetup,
  LoadSaveDisable, NoSaveAs, RetLastSelEnable, FontSel, VoiceSel, JoyUse, CaptureDisable, FnDisable,
  WideModeMenu, EraseOnSpace, GuiExitDialog, QuickloadFailsafe, QuicksaveFailsafe,
  Count
};

// Text environment keys.
enum class EnvText : uint8_t {
  RegGlobal, RegLocal, Titlebar, GyoutouKinsoku, GyoumatuKinsoku, AltGender, FcName, FcName2,
  CaptureName, HelpFile, AppName, Version, Url, SupportUrl, SupportString,
  Count
};

// Integer registry values with a fixed default or an environment default.
enum class UserSetting : uint8_t {
  AbnormalTerminateFlg, WinStat, WinPosX, WinPosY, SaveScreenpos, Topmost, Nanido, GameSpeed,
  FullScFreq, FullScBits, FullScreenFit, FullScWide5, WideMode, RegWidth3, RegHeight3, QuickNum,
  QuickloadFailsafe, QuicksaveFailsafe, JoyUse, EffectSpeed, MojiSpeed, AutoSpeed,
  MusicVolume, VoiceVolume, SoundVolume, TalkMale, TalkFemale, PlayMusic, PlaySound,
  VoiceContinue, VoicePanning, VoiceMusicdown, VoiceMusicdownVol,
  FontAnti, FontShadow, Fuchidori, FontBold, ConfigLastPage, KeepFastSkip,
  HOnseiMale, HOnseiFemale, HSceneNormal, HSceneYuri, KokkaWait, SpkCont, WindowColor,
  LoadSaveDlgNumBase, ReprotNoVoice, ReprotNoPic, LogNoVoice, LogNoPic, AutoOpenErrorLine, FastVoicePlay,
  AbnormalMovieTerminateFlg, MovieDisableMenu,
  // This engine's own: how a full screen shows the game (0 fit, 1 integer
  // multiples, 2 stretched) and whether it switches the display's mode.
  FullScreenScaling, FullScreenExclusive,
  Count
};

// Text registry values with a fixed default.
enum class UserText : uint8_t { WatchList, Editor, Count };

// Per-voice volumes "VoiceSetupLvl0" ... "VoiceSetupLvl29".
inline constexpr int kVoiceSetupLevels = 30;

struct SettingsCache {
  // Host path of the settings store. Empty until first use, when it is taken
  // from the process environment; tests point it at a directory of their own.
  std::string store_directory;
  // User settings (by value name, game text) whose last write failed, with
  // the text that could not be stored: the value set holds for the run.
  std::map<std::string, std::string, std::less<>> unwritten;
  // Environment values as read, nullopt while unread.
  std::array<std::optional<int32_t>, size_t(EnvInt::Count)> ints{};
  // Text values are read again while they are empty.
  std::array<std::string, size_t(EnvText::Count)> texts{};
};

// Forgets the cached environment values (after the environment table changed).
void forget_environment_values(SettingsCache& cache);

std::string_view environment_key_name(EnvInt key);
std::string_view environment_key_name(EnvText key);
std::string_view registry_value_name(UserSetting setting);
std::string_view registry_value_name(UserText setting);

// ---- environment keys, cached

int32_t env_setting(State& state, EnvInt key);
// Game text. REG_GLOBAL, REG_LOCAL and TITLEBAR are cut to 127 bytes.
const std::string& env_setting_text(State& state, EnvText key);

// ---- the registry under the game's section pair

SettingsLocation settings_location(State& state);

// The operations scripts use on arbitrary value names (game text).
int32_t reg_read_int(State& state, std::string_view name, int32_t default_value);
RegistryText reg_read_text(State& state, std::string_view name, std::string_view default_text,
                                      size_t size);
SettingsWrite reg_write_int(State& state, std::string_view name, int32_t value);
SettingsWrite reg_write_text(State& state, std::string_view name, std::string_view text);
SettingsWrite reg_write_text_flushed(State& state, std::string_view name, std::string_view text);

// The values a user setting may take. Every read and write is clamped to
// them (one table in settings.cpp: volumes 0..1000, switches 0..1, speeds
// 0..max(5000, 5 × default), NANIDO 0..4, ...), so a hand-edited file never
// hands the engine a value it cannot use.
struct SettingRange {
  int32_t minimum;
  int32_t maximum;
};
SettingRange user_setting_range(State& state, UserSetting setting);
int32_t clamp_user_setting(State& state, UserSetting setting, int32_t value);
// The default a setting has while the store does not hold it (its
// environment key or constant), clamped like a read.
int32_t default_user_setting(State& state, UserSetting setting);

// A user setting with its default, clamped to its range.
int32_t read_user_setting(State& state, UserSetting setting);
// Every write is synced to disk before it replaces the file. Callers may
// ignore a failure: the value written still holds until the engine ends (the
// reads of user settings, voice levels and user texts return it), only the
// store keeps its previous value for the next run.
SettingsWrite write_user_setting(State& state, UserSetting setting, int32_t value);

// Several values with one replacement of the file, so one sync: dialogs
// that store many values at once should use this.
struct UserSettingValue {
  UserSetting setting;
  int32_t value;
};
SettingsWrite write_user_settings(State& state, std::span<const UserSettingValue> values);

// Game text, at most 259 bytes; WatchList defaults to empty, Editor to "none".
std::string read_user_text(State& state, UserText setting);
SettingsWrite write_user_text(State& state, UserText setting, std::string_view text);

// VoiceSetupLvl<index>, default 1000, read clamped to 0..1000; an index
// outside 0..29 reads the default.
int32_t read_voice_level(State& state, int index);
SettingsWrite write_voice_level(State& state, int index, int32_t value);
// All thirty levels with one replacement of the file.
SettingsWrite write_voice_levels(State& state, std::span<const int32_t, kVoiceSetupLevels> levels);

// The window-related values the engine keeps at exit.
struct ExitSettings {
  int32_t window_state = 0;           // WinStat: full screen or windowed
  int32_t difficulty = 0;             // NANIDO
  int32_t game_speed = 1;             // GameSpeed
  int32_t topmost = 0;                // TOPMOST
  int32_t full_screen_frequency = 0;  // FullScFreq, Hz (0 = unspecified)
  int32_t full_screen_bits = 0;       // FullScBits (0 = unspecified)
  int32_t window_x = -9999;           // WinPosX, pixels
  int32_t window_y = -9999;           // WinPosY, pixels
};

// Writes AbnormalTerminateFlg 0, WinStat, NANIDO, GameSpeed, TOPMOST,
// FullScFreq, FullScBits, WinPosX and WinPosY, in that order, as one atomic
// replacement of the file: after a crash either all of them are stored or
// none (and the abnormal-termination flag then still reports the crash).
SettingsWrite write_exit_settings(State& state, const ExitSettings& settings);

}  // namespace tavelo::resources
