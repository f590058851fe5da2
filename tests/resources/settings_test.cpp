// Settings accessors: environment defaults, registry values with their
// defaults under the game's section pair, and the exit-time writes.

#include "resources/settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "resources/environment.h"
#include "resources/state.h"
#include "tests/support/test_engine.h"

namespace tavelo::resources {
namespace {

using testing::sjis;
using testing::TempDirectory;

// An engine whose environment file holds env_file and whose settings live in
// a directory of its own.
struct Game {
  explicit Game(const TempDirectory& store, std::string_view env_file = "")
      : test(store.path()) {
    test.engine.resources.environment = parse_environment(env_file, test.engine.encoding.lead_bytes());
    test.engine.resources.settings.store_directory = store.path();
  }
  State& engine() { return test.engine.resources; }
  std::string file_text() {
    std::vector<uint8_t> bytes = testing::read_bytes(resources::settings_file_path(settings_location(engine())));
    return std::string(bytes.begin(), bytes.end());
  }

  testing::TestEngine test;
};

TEST(Settings, environment_values_override_and_are_cut) {
  TempDirectory store;
  std::string long_caption;
  while (long_caption.size() < 127) long_caption += sjis("ア");  // 128 bytes
  Game game(store, "CLIENT_WIDTH 800\nMOJISPEED 12abc\nTITLEBAR " + long_caption + "\nREG_LOCAL My|Game\n");
  EXPECT_EQ(env_setting(game.engine(), EnvInt::ClientWidth), 800);
  EXPECT_EQ(env_setting(game.engine(), EnvInt::MojiSpeed), 12);
  // 127 bytes would split the last character.
  EXPECT_EQ(env_setting_text(game.engine(), EnvText::Titlebar), long_caption.substr(0, 126));
  EXPECT_EQ(env_setting_text(game.engine(), EnvText::RegLocal), "My Game");
  // Keys the file leaves out keep their defaults, in the game code page.
  EXPECT_EQ(env_setting(game.engine(), EnvInt::ClientHeight), 480);
  EXPECT_EQ(env_setting_text(game.engine(), EnvText::RegGlobal), "TAVELO_SYSTEM");
  EXPECT_EQ(env_setting_text(game.engine(), EnvText::AppName), sjis("ＴＡＶＥＬＯ　スクリプトエンジン"));

  // Values are cached until the environment is replaced.
  game.engine().environment = parse_environment("CLIENT_WIDTH 1024\n", game.engine().encoding.lead_bytes());
  EXPECT_EQ(env_setting(game.engine(), EnvInt::ClientWidth), 800);
  forget_environment_values(game.engine().settings);
  EXPECT_EQ(env_setting(game.engine(), EnvInt::ClientWidth), 1024);
}

TEST(Settings, user_settings_default_to_constants_or_environment_keys) {
  TempDirectory store;
  Game game(store, "MUSICVOL 300\nQUICKSAVE_FAILSAFE 1\nISTALKFEMALE 0\n");
  const struct {
    UserSetting setting;
    int32_t expected;
  } cases[] = {
      {UserSetting::MusicVolume, 300},         {UserSetting::VoiceVolume, 1000},
      {UserSetting::SoundVolume, 650},         {UserSetting::QuicksaveFailsafe, 1},
      {UserSetting::QuickloadFailsafe, 2},     {UserSetting::TalkFemale, 0},
      {UserSetting::TalkMale, 1},              {UserSetting::EffectSpeed, 1000},
      {UserSetting::VoiceContinue, 0},         {UserSetting::WinPosX, -9999},
      {UserSetting::FullScWide5, -1},          {UserSetting::SaveScreenpos, 1},
      {UserSetting::GameSpeed, 1},             {UserSetting::LoadSaveDlgNumBase, 101},
      {UserSetting::VoiceMusicdownVol, 500},   {UserSetting::LogNoPic, 1},
      {UserSetting::FontAnti, 1},              {UserSetting::FontBold, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(read_user_setting(game.engine(), c.setting), c.expected) << registry_value_name(c.setting);
  }
  EXPECT_EQ(read_user_text(game.engine(), UserText::Editor), "none");
  EXPECT_EQ(read_user_text(game.engine(), UserText::WatchList), "");
  EXPECT_EQ(read_voice_level(game.engine(), 29), 1000);

  // A stored value replaces the environment default.
  ASSERT_EQ(write_user_setting(game.engine(), UserSetting::MusicVolume, 0), SettingsWrite::Written);
  EXPECT_EQ(read_user_setting(game.engine(), UserSetting::MusicVolume), 0);
  EXPECT_NE(game.file_text().find("\"MusicVolume\"=\"0\"\n"), std::string::npos);
}

// A hand-edited file is never trusted: every value reads clamped to its
// range, and writes are clamped the same way.
TEST(Settings, out_of_range_values_read_clamped_to_their_ranges) {
  TempDirectory store;
  Game game(store, "MOJISPEED 2000\n");
  const struct {
    UserSetting setting;
    int32_t stored;
    int32_t expected;
  } cases[] = {
      {UserSetting::Nanido, 9, 4}, {UserSetting::Nanido, -3, 0}, {UserSetting::Nanido, 2, 2},
      {UserSetting::GameSpeed, 7, 3}, {UserSetting::GameSpeed, -1, 0},
      {UserSetting::MusicVolume, 5000, 1000}, {UserSetting::VoiceVolume, -20, 0},
      {UserSetting::SoundVolume, 300, 300}, {UserSetting::VoiceMusicdownVol, 1001, 1000},
      {UserSetting::TalkMale, 7, 1}, {UserSetting::PlaySound, -1, 0},
      {UserSetting::EffectSpeed, 99999, 5000}, {UserSetting::EffectSpeed, -5, 0},
      // A slow default leaves room to slow down five times over.
      {UserSetting::MojiSpeed, 99999, 10000},
      {UserSetting::WindowColor, 8, 7}, {UserSetting::HSceneYuri, 3, 2}, {UserSetting::ConfigLastPage, 4, 3},
      {UserSetting::QuickloadFailsafe, 5, 2}, {UserSetting::FontBold, 2, 1},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(reg_write_int(game.engine(), registry_value_name(c.setting), c.stored), SettingsWrite::Written);
    EXPECT_EQ(read_user_setting(game.engine(), c.setting), c.expected) << registry_value_name(c.setting) << " " << c.stored;
  }
  ASSERT_EQ(reg_write_int(game.engine(), "VoiceSetupLvl3", 4000), SettingsWrite::Written);
  EXPECT_EQ(read_voice_level(game.engine(), 3), 1000);
  ASSERT_EQ(write_user_setting(game.engine(), UserSetting::MusicVolume, 1200), SettingsWrite::Written);
  EXPECT_EQ(reg_read_int(game.engine(), "MusicVolume", 0), 1000);
}

TEST(Settings, voice_levels_outside_the_table_are_refused) {
  TempDirectory store;
  Game game(store);
  ASSERT_EQ(write_voice_level(game.engine(), 0, 250), SettingsWrite::Written);
  ASSERT_EQ(write_voice_level(game.engine(), 29, 300), SettingsWrite::Written);
  EXPECT_EQ(write_voice_level(game.engine(), 30, 1), SettingsWrite::Failed);
  EXPECT_EQ(write_voice_level(game.engine(), -1, 1), SettingsWrite::Failed);
  EXPECT_EQ(read_voice_level(game.engine(), 0), 250);
  EXPECT_EQ(read_voice_level(game.engine(), 29), 300);
  EXPECT_EQ(read_voice_level(game.engine(), 30), 1000);
  EXPECT_EQ(reg_read_int(game.engine(), "VoiceSetupLvl29", 0), 300);
}

TEST(Settings, changing_the_local_section_gives_fresh_settings) {
  TempDirectory store;
  {
    Game first(store, "REG_LOCAL FIRST_GAME\n");
    ASSERT_EQ(reg_write_int(first.engine(), "MusicVolume", 100), SettingsWrite::Written);
    ASSERT_EQ(reg_write_text(first.engine(), sjis("名前"), sjis("太郎")), SettingsWrite::Written);
  }
  Game second(store, "REG_LOCAL SECOND_GAME\nMUSICVOL 400\n");
  EXPECT_EQ(read_user_setting(second.engine(), UserSetting::MusicVolume), 400);
  resources::RegistryText name = reg_read_text(second.engine(), sjis("名前"), "", 512);
  EXPECT_EQ(name.status, -1);

  Game again(store, "REG_LOCAL FIRST_GAME\n");
  EXPECT_EQ(read_user_setting(again.engine(), UserSetting::MusicVolume), 100);
  EXPECT_EQ(reg_read_text(again.engine(), sjis("名前"), "", 512).text, sjis("太郎"));
  EXPECT_TRUE(testing::read_bytes(store.at("TAVELO_SYSTEM/FIRST_GAME.reg")).size() > 0);
}

TEST(Settings, exit_writes_land_in_order_in_one_file) {
  TempDirectory store;
  Game game(store);
  ASSERT_EQ(reg_write_text_flushed(game.engine(), "AbnormalTerminateFlg", "1"), SettingsWrite::Written);
  ASSERT_EQ(reg_write_int(game.engine(), "Keep", 5), SettingsWrite::Written);
  ExitSettings settings;
  settings.window_state = 1;
  settings.difficulty = 3;
  settings.game_speed = 2;
  settings.topmost = 1;
  settings.full_screen_frequency = 60;
  settings.full_screen_bits = 32;
  settings.window_x = -20;
  settings.window_y = 15;
  ASSERT_EQ(write_exit_settings(game.engine(), settings), SettingsWrite::Written);
  EXPECT_EQ(game.file_text(),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\TAVELO_SYSTEM\\TAVELO_RUNTIME]\n"
            "\"AbnormalTerminateFlg\"=\"0\"\n"
            "\"Keep\"=\"5\"\n"
            "\"WinStat\"=\"1\"\n"
            "\"NANIDO\"=\"3\"\n"
            "\"GameSpeed\"=\"2\"\n"
            "\"TOPMOST\"=\"1\"\n"
            "\"FullScFreq\"=\"60\"\n"
            "\"FullScBits\"=\"32\"\n"
            "\"WinPosX\"=\"-20\"\n"
            "\"WinPosY\"=\"15\"\n");
  EXPECT_EQ(read_user_setting(game.engine(), UserSetting::WinPosX), -20);
}

TEST(Settings, store_directory_comes_from_the_process_environment) {
  struct Saved {
    const char* name;
    std::optional<std::string> value;
  } saved[] = {{"TAVELO_CONFIG_HOME", {}}, {"XDG_CONFIG_HOME", {}}, {"HOME", {}}};
  for (Saved& s : saved) {
    if (const char* value = getenv(s.name)) s.value = value;
  }
  const struct {
    const char* tavelo;
    const char* xdg;
    const char* home;
    std::optional<std::string> expected;
  } cases[] = {
      {"/t", "/x", "/h", "/t"},
      {nullptr, "/x", "/h", "/x/tavelo"},
      {"", "/x", "/h", "/x/tavelo"},
      {nullptr, "relative", "/h", "/h/.config/tavelo"},
      {nullptr, nullptr, "/h", "/h/.config/tavelo"},
      {nullptr, nullptr, nullptr, std::nullopt},
  };
  for (const auto& c : cases) {
    const char* values[] = {c.tavelo, c.xdg, c.home};
    for (size_t i = 0; i < 3; ++i) {
      if (values[i]) setenv(saved[i].name, values[i], 1);
      else unsetenv(saved[i].name);
    }
    EXPECT_EQ(resources::settings_directory_from_environment(), c.expected);
  }
  for (const Saved& s : saved) {
    if (s.value) setenv(s.name, s.value->c_str(), 1);
    else unsetenv(s.name);
  }
}

}  // namespace
}  // namespace tavelo::resources
