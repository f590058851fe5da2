// The settings dialogs on the headless engine, driven by replayed input as
// a player would: opened from the menu bar (F10, arrows, Space) or by a
// script's call, changed with the keyboard or a pad, closed with Return,
// Escape or a right click; what they store is read back by a second engine on the same
// settings file, and what they apply is read from the playing streams.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "audio/output.h"
#include "audio/state.h"
#include "dialogs/settings_dialog.h"
#include "host/state.h"
#include "platform/font_lookup.h"
#include "host/engine.h"
#include "host/input_replay.h"
#include "host/settings_dialogs.h"
#include "resources/settings.h"
#include "resources/state.h"
#include "tests/audio/audio_test_support.h"
#include "tests/support/script_harness.h"
#include "tests/support/test_engine.h"

namespace tavelo::testing {
namespace {

// The settings menu is the bar's third; its items, from the top: speed,
// sound, font, voice, extra (FONTSEL, VOICESEL and USEEXTRASETUP keep them).
constexpr const char* kEnvironment = "TITLEBAR DialogTest\nFONTSEL 1\nVOICESEL 1\nUSEEXTRASETUP 1\n";

// Keys 100 ms apart from start_ms, each held 50 ms; a name with a blank is
// a whole event ("click right 10 10").
std::string keys(int start_ms, const std::vector<std::string>& names) {
  std::string replay;
  int at = start_ms;
  for (const std::string& name : names) {
    replay += std::to_string(at) + " " + (name.find(' ') != std::string::npos ? name : "key " + name) + "\n";
    at += 100;
  }
  return replay;
}

// F10 opens the first menu; two steps right reach the settings menu, whose
// first item is chosen; Space takes the item `downs` below it.
std::vector<std::string> open_settings_item(int downs) {
  std::vector<std::string> names = {"F10", "Right", "Right"};
  names.insert(names.end(), size_t(downs), "Down");
  names.push_back("Space");
  return names;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct DialogGame {
  std::string body;  // runs before a 3 s wait
  std::vector<std::string> keys;
  std::string environment = kEnvironment;
  std::function<void(TestEngine&)> before;
  std::function<void(TestEngine&)> after;
};

ScriptRun run_dialog_game(TempDirectory& game, const DialogGame& setup) {
  GameFiles files;
  std::string body = setup.body + "    push_int 3000\n    syscall_discard 0xCF35F0E3 1\n";
  files.scripts.push_back({"scenario/start.tvo", start_script(body)});
  files.environment = setup.environment;
  write_game(game, files);
  host::ReplayParse replay = host::parse_input_replay(keys(300, setup.keys), game.path());
  EXPECT_FALSE(replay.error);
  RunHooks hooks;
  hooks.before = [&](TestEngine& test) {
    host::load_input_replay(test.engine, replay.events);
    if (setup.before) setup.before(test);
  };
  hooks.after = setup.after;
  ScriptRun run;
  run.game = run_game(game, {}, {}, hooks);
  run.lines = log_messages(run.game.log);
  return run;
}

// A second engine on the game's settings file: what the next run reads.
int32_t stored(TempDirectory& game, std::string_view name) {
  TestEngine check(game.path());
  check.engine.resources.settings.store_directory = game.at("settings");
  return resources::reg_read_int(check.engine.resources, name, -1);
}

const std::string kVoiceNames =
    "    push_string \"少年\"\n    push_string \"少女\"\n    syscall_discard voice_setup_names 2\n";

TEST(SettingsDialogs, each_dialog_stores_what_the_player_changed_and_cancel_stores_nothing) {
  struct Case {
    const char* what;
    std::string body;
    std::vector<std::string> keys;
    const char* value;
    int32_t expected;  // -1: never written
  };
  const std::vector<std::string> slider_right_twice = {"Space", "Right", "Right", "Space"};
  const Case cases[] = {
      {"speed", "", open_settings_item(0) + slider_right_twice + std::vector<std::string>{"Return"}, "EffectSpeed", 1100},
      {"speed, cancelled", "", open_settings_item(0) + slider_right_twice + std::vector<std::string>{"Escape"},
       "EffectSpeed", -1},
      {"sound", "", open_settings_item(1) + std::vector<std::string>{"Space", "Left", "Left", "Space", "Return"},
       "VoiceVolume", 980},
      {"sound with a pad", "",
       open_settings_item(1) + std::vector<std::string>{"pad a", "pad leftshoulder", "pad a", "pad start"},
       "VoiceVolume", 990},
      {"sound, right click", "",
       open_settings_item(1) + std::vector<std::string>{"Space", "Left", "Space", "click right 10 10"}, "VoiceVolume",
       -1},
      {"sound's switch", "", open_settings_item(1) + std::vector<std::string>{"Down", "Down", "Down", "Space", "Return"},
       "TalkMale", 0},
      {"voices", kVoiceNames, open_settings_item(3) + std::vector<std::string>{"Right", "Space", "Return"},
       "VoiceSetupLvl1", 0},
      {"all voices", kVoiceNames, open_settings_item(3) + std::vector<std::string>{"Down", "Space", "Return"},
       "TalkFemale", 0},
      {"extra", "", open_settings_item(4) + std::vector<std::string>{"Right", "Right", "Space", "Return"}, "WindowColor",
       2},
      {"combined", "    syscall_discard config_all_dialog 0\n",
       slider_right_twice + std::vector<std::string>{"Return"}, "EffectSpeed", 1100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDirectory game;
    DialogGame setup;
    setup.body = c.body;
    setup.keys = c.keys;
    run_dialog_game(game, setup);
    EXPECT_EQ(stored(game, c.value), c.expected);
  }
}

// The combined dialog's speed page shows speeds relative to their defaults
// (a stored 500 with MOJISPEED 500 sits at 1000 of 5000); it opens on the
// stored tab and stores the tab it closed on, even when cancelled.
TEST(SettingsDialogs, the_combined_dialog_scales_speeds_by_their_defaults_and_keeps_its_tab) {
  struct Case {
    const char* what;
    std::vector<std::string> keys;
    int32_t text_speed;
    int32_t last_page;
    int32_t stored_page = -1;  // CONFIG_LASTPAGE of an earlier run, -1 none
  };
  const Case cases[] = {
      {"text speed +100 on the slider", {"Down", "Space", "Right", "Right", "Space", "Return"}, 550, 0},
      {"to the sound tab, cancelled", {"Up", "Right", "Space", "Escape"}, -1, 1},
      {"opened on the screen tab, cancelled", {"Escape"}, -1, 2, 2},
      {"opened on the font tab, OK", {"Return"}, 500, 3, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDirectory game;
    DialogGame setup;
    setup.environment = std::string(kEnvironment) + "MOJISPEED 500\n";
    setup.body = "    syscall_discard config_all_dialog 0\n";
    setup.keys = c.keys;
    if (c.stored_page >= 0) {
      setup.before = [&](TestEngine& test) {
        (void)resources::reg_write_int(test.engine.resources, "CONFIG_LASTPAGE", c.stored_page);
      };
    }
    run_dialog_game(game, setup);
    EXPECT_EQ(stored(game, "MojiSpeed"), c.text_speed);
    EXPECT_EQ(stored(game, "CONFIG_LASTPAGE"), c.last_page);
  }
}

// While the music slider moves the playing music follows it; OK keeps that
// volume, Cancel returns the music to the stored one. A script's volume call
// reaches the playing music at once.
TEST(SettingsDialogs, the_playing_music_follows_the_volume) {
  struct Case {
    const char* what;
    std::string body;
    std::vector<std::string> keys;
    int32_t during;
    int32_t after;
    int32_t stored;
  };
  const std::string music = "    push_string \"tune\"\n    syscall_discard music 1\n";
  const std::vector<std::string> music_slider = open_settings_item(1) + std::vector<std::string>{
                                                    "Down", "Space", "Left", "Left", "Left", "Left", "Left", "Space"};
  const Case cases[] = {
      {"OK", music, music_slider + std::vector<std::string>{"Return"}, 600, 600, 600},
      {"Cancel", music, music_slider + std::vector<std::string>{"Escape"}, 600, 650, -1},
      {"script call", music + "    push_int 300\n    syscall_discard config_set_music_volume 1\n", {}, 300, 300, 300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDirectory game;
    game.write("stream/tune.wav", make_pcm16(2, 44100, std::vector<int16_t>(44100 * 2 * 4, 1000)));
    DialogGame setup;
    setup.body = c.body;
    setup.keys = c.keys;
    int32_t during = -1, after = -1;
    auto music_volume = [](TestEngine& test) {
      std::optional<audio::StreamView> view =
          audio::inspect_stream(test.engine.audio.output, test.engine.audio.channels.music.stream);
      return view ? view->volume : -1;
    };
    setup.before = [&](TestEngine& test) {
      test.platform.schedule(1000 + 1600, [&] { during = music_volume(test); });
      test.platform.schedule(1000 + 2400, [&] { after = music_volume(test); });
    };
    run_dialog_game(game, setup);
    EXPECT_EQ(during, c.during);
    EXPECT_EQ(after, c.after);
    EXPECT_EQ(stored(game, "MusicVolume"), c.stored);
  }
}

// font_dialog lists the faces for its pitch flag, selects the current face
// (else the first) and gives back what the player chose; the other calls
// set and read the choice, the voice levels and the settings.
TEST(SettingsDialogs, font_choice_voice_levels_and_setting_calls) {
  TempDirectory game;
  DialogGame setup;
  setup.body =
      "    push_int 1\n    push_string \"\"\n    syscall font_dialog 2\n    PRINT 1\n"
      "    syscall font_choice 0\n    PRINT 1\n"
      "    push_int 0\n    push_string \"IPAGothic\"\n    syscall_discard font_choice_set 2\n"
      "    syscall font_choice 0\n    PRINT 1\n"
      "    push_int 300\n    push_string \"VoiceSetupLvl0\"\n    syscall_discard 0x9A1ACECA 2\n"
      "    push_int 700\n    push_string \"VoiceSetupLvl29\"\n    syscall_discard 0x9A1ACECA 2\n"
      "    push_int -5\n    syscall voice_setup_level 1\n    PRINT 1\n"
      "    push_int 40\n    syscall voice_setup_level 1\n    PRINT 1\n"
      "    push_int 9000\n    syscall_discard config_set_effect_speed 1\n"
      "    syscall config_effect_speed 0\n    PRINT 1\n"
      "    push_int 0\n    push_string \"TalkFemale\"\n    syscall_discard 0x9A1ACECA 2\n"
      "    push_int 29\n    syscall voice_setup_level 1\n    PRINT 1\n";
  // The face list opens with Space; Down and Space take the second face.
  setup.keys = {"Space", "Down", "Space", "Return"};
  std::vector<std::string> faces;
  setup.after = [&](TestEngine& test) {
    test.engine.host.settings_dialogs.proportional = 1;
    faces = host::listed_faces(test.engine);
  };
  ScriptRun run = run_dialog_game(game, setup);
  ASSERT_GE(faces.size(), 2u) << "the Japanese fonts are installed";
  ASSERT_EQ(run.lines.size(), 7u) << run.game.log;
  EXPECT_EQ(run.lines[0], faces[1] + " ");
  EXPECT_EQ(run.lines[1], faces[1] + " ");
  EXPECT_EQ(run.lines[2], "IPAGothic ");
  EXPECT_EQ(run.lines[3], "300 ") << "below 0 reads the first character";
  EXPECT_EQ(run.lines[4], "700 ") << "above 29 reads the last";
  EXPECT_EQ(run.lines[5], "5000 ") << "stored clamped";
  EXPECT_EQ(run.lines[6], "0 ") << "female voices off";
}

TEST(SettingsDialogs, every_title_and_the_font_sample_have_glyphs_in_the_dialogs_font) {
  platform::FontLookup fonts;
  std::optional<platform::FontFile> file = platform::find_font_file(fonts, "ＭＳ ゴシック");
  if (!file) GTEST_SKIP() << "no Japanese font installed";
  FT_Library library = nullptr;
  ASSERT_EQ(FT_Init_FreeType(&library), 0);
  FT_Face face = nullptr;
  ASSERT_EQ(FT_New_Face(library, file->path.c_str(), file->face_index, &face), 0);
  std::vector<std::string> texts = {dialogs::kFontSample};
  for (auto kind : {dialogs::SettingsDialogKind::Sound, dialogs::SettingsDialogKind::Speed, dialogs::SettingsDialogKind::Font,
                    dialogs::SettingsDialogKind::Voice, dialogs::SettingsDialogKind::Extra,
                    dialogs::SettingsDialogKind::Combined}) {
    texts.push_back(dialogs::SettingsDialog(kind, {}, {}, {}).title());
  }
  for (const std::string& text : texts) {
    // UTF-8 to code points; each must have a glyph.
    for (size_t i = 0; i < text.size();) {
      auto byte = uint8_t(text[i]);
      size_t length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
      uint32_t code = length == 1 ? byte : byte & (0x7F >> length);
      for (size_t k = 1; k < length; ++k) code = code << 6 | (uint8_t(text[i + k]) & 0x3F);
      EXPECT_NE(FT_Get_Char_Index(face, code), 0u) << text << ": U+" << std::hex << code;
      i += length;
    }
  }
  FT_Done_Face(face);
  FT_Done_FreeType(library);
}

// With the game's settings folder blocked (a file stands where the folder of
// its section would be made) no write goes through, yet what a setter or a
// dialog set holds for the run.
TEST(SettingsDialogs, a_setting_whose_write_fails_holds_for_the_run) {
  TempDirectory game;
  game.write("settings/TAVELO_SYSTEM", "a file, not a folder");
  DialogGame setup;
  setup.body =
      "    push_int 250\n    syscall_discard config_set_effect_speed 1\n"
      "    syscall config_effect_speed 0\n    PRINT 1\n"
      "    push_int 1\n    syscall_discard config_set_quicksave_failsafe 1\n"
      "    syscall config_quicksave_failsafe 0\n    PRINT 1\n"
      "    syscall_discard config_all_dialog 0\n"
      "    syscall config_effect_speed 0\n    PRINT 1\n";
  // The combined dialog's effect speed slider, two steps right, then OK.
  setup.keys = {"Space", "Right", "Right", "Space", "Return"};
  ScriptRun run = run_dialog_game(game, setup);
  EXPECT_EQ(run.lines, (std::vector<std::string>{"250 ", "1 ", "350 "})) << run.game.log;
}

}  // namespace
}  // namespace tavelo::testing
