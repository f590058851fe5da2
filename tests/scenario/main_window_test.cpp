// The main window driven by replayed input on the headless platform: the
// menu bar, menu requests and the events they raise, function keys, the
// close path with its exit question, dialogs, display modes and the
// shutdown's captions.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "graphics/state.h"
#include "host/engine.h"
#include "host/input_replay.h"
#include "host/menus.h"
#include "input/state.h"
#include "persistence/state.h"
#include "resources/name_hash.h"
#include "resources/settings.h"
#include "resources/state.h"
#include "tests/support/event_names.h"
#include "tests/support/script_harness.h"
#include "tests/support/test_engine.h"

namespace tavelo::testing {
namespace {

using Lines = std::vector<std::string>;

struct Watched {
  uint32_t key;
  const char* tag;
};

// Events the menus and keys raise, each printing its tag to the debug log.
constexpr Watched kMenuEvents[] = {
    {0xAAF02220, "load menu"}, {0x7CE76169, "save menu"},   {0x4A6BF175, "exit screen"},
    {0x42629F01, "close screen"}, {0xCA908215, "key help"}, {0x2BF167D7, "previous choice"},
};

// A start script that registers a handler for every watched event, runs
// body, waits wait_ms and ends.
std::string watching_body(int wait_ms, std::string_view body = "") {
  std::string source;
  for (size_t i = 0; i < std::size(kMenuEvents); ++i) {
    source += "    push_int {$on_" + std::to_string(i) + "@GLOBAL}\n";
    source += "    push_string \"" + event_name_for(kMenuEvents[i].key) + "\"\n";
    source += "    syscall_discard 0x078A756E 2\n";
  }
  source += body;
  source += "    push_int " + std::to_string(wait_ms) + "\n    syscall_discard 0xCF35F0E3 1\n";
  return source;
}

std::string watching_handlers(std::string_view extra = "") {
  std::string source;
  for (size_t i = 0; i < std::size(kMenuEvents); ++i) {
    source += ".function \"$on_" + std::to_string(i) + "@GLOBAL\" on_" + std::to_string(i) + "\n";
  }
  for (size_t i = 0; i < std::size(kMenuEvents); ++i) {
    source += "on_" + std::to_string(i) + ":\n    push_string \"" + kMenuEvents[i].tag + "\"\n    PRINT\n";
    if (std::string_view(kMenuEvents[i].tag) == "load menu") {
      // The script shows its load screen: the current request becomes open.
      source += "    syscall_discard 0xC438BA98 0\n";
    }
    if (std::string_view(kMenuEvents[i].tag) == "close screen") source += "    syscall_discard 0x3378635D 0\n";
    source += "    return\n";
  }
  source += extra;
  return source;
}

struct WindowRun {
  ScriptRun run;
  std::vector<platform::RecordedBox> boxes;
  std::vector<std::string> captions;
  std::string clipboard;
  platform::ScreenRequest screen;
};

struct WindowGame {
  std::string body;
  std::string replay;
  std::string environment = "TITLEBAR WindowTest\n";
  platform::AnswerPolicy policy;
  std::function<void(TestEngine&)> before;
  std::function<void(TestEngine&)> after;
  bool debug_mode = true;
};

WindowRun run_window_game(TempDirectory& game, const WindowGame& setup) {
  GameFiles files;
  files.scripts.push_back({"scenario/start.tvo", start_script(setup.body, watching_handlers())});
  files.environment = setup.environment;
  files.debug_mode = setup.debug_mode;
  write_game(game, files);
  host::ReplayParse replay = host::parse_input_replay(setup.replay, game.path());
  EXPECT_FALSE(replay.error) << replay.error->line << ": " << replay.error->reason;
  WindowRun result;
  RunHooks hooks;
  hooks.before = [&](TestEngine& test) {
    host::load_input_replay(test.engine, replay.events);
    if (setup.before) setup.before(test);
  };
  hooks.after = [&](TestEngine& test) {
    result.captions = test.platform.captions();
    result.clipboard = test.platform.clipboard_text();
    result.screen = test.platform.screen();
    if (setup.after) setup.after(test);
  };
  result.run.game = run_game(game, {}, setup.policy, hooks);
  result.run.lines = log_messages(result.run.game.log);
  result.boxes = result.run.game.boxes;
  return result;
}

int count_of(const Lines& lines, std::string_view line) {
  return int(std::count(lines.begin(), lines.end(), std::string(line) + " "));
}

int32_t registry_int(TestEngine& test, std::string_view name) {
  return resources::reg_read_int(test.engine.resources, name, -1);
}

// The menu bar's places at the font the UI uses: the first menu and its
// second item (ロード), and the help menu with its last item.
constexpr const char* kOpenSystemMenu = "100 mouse move 20 0\n150 click left 30 8\n";

TEST(MainWindow, the_menu_bar_shows_at_the_top_edge_and_its_load_item_raises_the_load_event) {
  TempDirectory game;
  WindowGame setup;
  setup.body = watching_body(1000);
  setup.replay = std::string(kOpenSystemMenu) + "300 screenshot open.png\n400 click left 40 58\n600 screenshot closed.png\n";
  WindowRun window = run_window_game(game, setup);
  EXPECT_EQ(count_of(window.run.lines, "load menu"), 1) << window.run.game.log;

  std::vector<uint8_t> open = read_bytes(game.at("open.png"));
  std::vector<uint8_t> closed = read_bytes(game.at("closed.png"));
  ASSERT_FALSE(open.empty());
  ASSERT_FALSE(closed.empty());
  // Nothing else is drawn, so the picture changes only by the menus.
  EXPECT_NE(open, closed);
  EXPECT_GT(open.size(), closed.size());
}

TEST(MainWindow, menu_items_follow_the_variant_and_the_start_up_edits) {
  struct Case {
    const char* environment;
    std::vector<uint32_t> present;
    std::vector<uint32_t> absent;
  };
  const Case cases[] = {
      {"", {40009, 40011, 40012, 40034, 40004, 40037}, {40045, 40028, 40035, 40038, 40039, 40040, 40049, 40050}},
      {"STLMENU 1\n", {40045, 40046, 40048, 40047}, {40011}},
      {"NOSAVEAS 1\nFONTSEL 1\nVOICESEL 1\nWIDEMODEMENU 1\n", {40035, 40038, 40049}, {40011, 40012}},
      {"FNDISABLE 1\nNOCONFIG 1\n", {40009}, {40013, 40014, 40008, 40030}},
      {"NOCONFIG 1\n", {40030}, {}},
      {"USEEXTRASETUP 1\nJOYUSE 2\n", {40050, 40039}, {}},
      {"NEKOMENU 1\n", {40015, 40018, 40022, 40023, 40026}, {40042}},
      {"AKAMENU 1\n", {40042, 40041}, {40015}},
      {"HELP_FILE help.html\n", {40028}, {}},
  };
  for (const Case& test_case : cases) {
    TempDirectory game;
    WindowGame setup;
    setup.body = watching_body(10);
    setup.environment = std::string("TITLEBAR MenuTest\n") + test_case.environment;
    std::vector<uint32_t> ids;
    setup.after = [&](TestEngine& test) {
      auto walk = [&](auto& self, const std::vector<platform::MenuEntry>& entries) -> void {
        for (const platform::MenuEntry& entry : entries) {
          if (entry.kind == platform::MenuEntry::Kind::Item) ids.push_back(entry.id);
          self(self, entry.children);
        }
      };
      walk(walk, test.platform.menus());
    };
    run_window_game(game, setup);
    for (uint32_t id : test_case.present) {
      EXPECT_NE(std::find(ids.begin(), ids.end(), id), ids.end()) << test_case.environment << " lacks " << id;
    }
    for (uint32_t id : test_case.absent) {
      EXPECT_EQ(std::find(ids.begin(), ids.end(), id), ids.end()) << test_case.environment << " has " << id;
    }
  }
}

TEST(MainWindow, saving_items_and_the_save_key_need_saving_enabled) {
  for (bool enabled : {false, true}) {
    TempDirectory game;
    WindowGame setup;
    setup.body = watching_body(500);
    setup.replay = "100 key F2\n";
    bool save_item_enabled = !enabled;
    // Every run starts with saving disabled; the game allows it at once.
    setup.before = [&](TestEngine& test) {
      test.platform.schedule(test.platform.ticks_ms() + 50, [&test, enabled] { test.engine.persistence.saving_enabled = enabled; });
    };
    setup.after = [&](TestEngine& test) {
      host::refresh_menu(test.engine);
      for (const platform::MenuEntry& menu : test.platform.menus()) {
        for (const platform::MenuEntry& item : menu.children) {
          if (item.id == host::kMenuSave) save_item_enabled = item.enabled;
        }
      }
    };
    WindowRun window = run_window_game(game, setup);
    EXPECT_EQ(count_of(window.run.lines, "save menu"), enabled ? 1 : 0) << window.run.game.log;
    EXPECT_EQ(save_item_enabled, enabled);
  }
}

TEST(MainWindow, choosing_load_twice_before_the_safe_point_opens_the_load_menu_once) {
  // The display lock holds the per-frame step back while the player chooses
  // the load item twice through the menu bar.
  TempDirectory game;
  WindowGame setup;
  setup.body = watching_body(1200);
  setup.replay = std::string(kOpenSystemMenu) + "300 click left 40 58\n" + "400 mouse move 20 0\n450 click left 30 8\n" +
                 "600 click left 40 58\n";
  setup.before = [](TestEngine& test) {
    test.engine.graphics.pacer.display_lock = 1;
    test.platform.schedule(1000 + 900, [&test] { test.engine.graphics.pacer.display_lock = 0; });
  };
  WindowRun window = run_window_game(game, setup);
  EXPECT_EQ(count_of(window.run.lines, "load menu"), 1) << window.run.game.log;
}

TEST(MainWindow, a_new_request_while_the_script_shows_a_screen_asks_it_to_close_that_screen) {
  // The load handler declares its screen open; F12 then asks for key help:
  // the script is told to close its screen, closes it, and key help follows.
  TempDirectory game;
  WindowGame setup;
  setup.body = watching_body(600);
  setup.replay = "100 key F3\n300 key F12\n";
  WindowRun window = run_window_game(game, setup);
  Lines expected = {"load menu ", "close screen ", "key help "};
  Lines seen;
  for (const std::string& line : window.run.lines) {
    if (line == "load menu " || line == "close screen " || line == "key help ") seen.push_back(line);
  }
  EXPECT_EQ(seen, expected) << window.run.game.log;
}

TEST(MainWindow, a_closed_gate_lets_keys_through_only_while_a_request_waits_for_its_screen) {
  // Key help stays current (its handler shows no screen); the load handler
  // opens its screen at once, which ends the request. Return follows each.
  struct Case {
    const char* request_key;
    uint32_t presses;
  };
  for (Case c : {Case{"F12", 1}, Case{"F3", 0}}) {
    TempDirectory game;
    WindowGame setup;
    setup.body = "    syscall_discard 0x60085FA4 0\n" + watching_body(600);  // input_gate_close
    setup.replay = std::string("100 key ") + c.request_key + "\n300 key Return\n";
    uint32_t presses = 99;
    setup.after = [&](TestEngine& test) { presses = test.engine.input.live.presses[0x0D]; };
    WindowRun window = run_window_game(game, setup);
    EXPECT_EQ(presses, c.presses) << c.request_key << "\n" << window.run.game.log;
  }
}

TEST(MainWindow, akamenu_moves_the_function_keys) {
  TempDirectory game;
  WindowGame setup;
  setup.body = watching_body(500);
  setup.environment = "TITLEBAR AkaTest\nAKAMENU 1\nRETLASTSEL_ENABLE 1\n";
  // F1 is key help there, F9 asks for the previous choice, F2 toggles full screen.
  setup.replay = "100 key F1\n200 key F9\n300 key F2\n";
  WindowRun window = run_window_game(game, setup);
  EXPECT_EQ(count_of(window.run.lines, "key help"), 1) << window.run.game.log;
  EXPECT_EQ(count_of(window.run.lines, "previous choice"), 1) << window.run.game.log;
  EXPECT_EQ(window.screen.mode, platform::ScreenMode::Windowed) << "shutdown returns to windowed";
}

TEST(MainWindow, the_exit_question_ends_the_run_on_yes_and_keeps_the_crash_flag_on_no) {
  struct Case {
    platform::Answer answer;
    int status;
    int32_t flag_after_question;
  };
  for (const Case& test_case : {Case{platform::Answer::Yes, 0, 0}, Case{platform::Answer::No, 0, 1}}) {
    TempDirectory game;
    WindowGame setup;
    setup.body = watching_body(2000) + "    push_string \"ran to the end\"\n    PRINT\n";
    setup.replay = "100 close\n";
    setup.policy.queued.push_back(test_case.answer);
    int32_t flag = -1;
    setup.before = [&](TestEngine& test) {
      test.platform.schedule(1000 + 500, [&] { flag = registry_int(test, "AbnormalTerminateFlg"); });
    };
    WindowRun window = run_window_game(game, setup);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text, "終了してよろしいですか？");
    EXPECT_EQ(window.boxes[0].buttons, platform::Buttons::YesNo);
    EXPECT_EQ(window.run.game.status, test_case.status);
    EXPECT_EQ(count_of(window.run.lines, "ran to the end"), test_case.answer == platform::Answer::No ? 1 : 0);
    if (test_case.answer == platform::Answer::No) {
      EXPECT_EQ(flag, test_case.flag_after_question);
    }
  }
}

TEST(MainWindow, guiexitdlg_hands_the_close_button_to_the_script) {
  TempDirectory game;
  WindowGame setup;
  setup.body = watching_body(500);
  setup.environment = "TITLEBAR ExitTest\nGUIEXITDLG 1\n";
  setup.replay = "100 close\n";
  WindowRun window = run_window_game(game, setup);
  EXPECT_TRUE(window.boxes.empty());
  EXPECT_EQ(count_of(window.run.lines, "exit screen"), 1) << window.run.game.log;
}

// The window key without a behaviour of its own takes any arguments and
// gives 0, with no report of an unknown key.
TEST(MainWindow, the_window_key_without_a_behaviour_gives_0) {
  ScriptRun run = run_script(R"(
    push_int 7
    push_string "any"
    syscall 0x62374297 2
    PRINT
  )");
  EXPECT_EQ(run.lines, (Lines{"0 "}));
}

TEST(MainWindow, an_error_box_leaves_its_text_on_the_clipboard) {
  TempDirectory game;
  WindowGame setup;
  setup.body = watching_body(100, "    syscall_discard 0x12345678 0\n");
  WindowRun window = run_window_game(game, setup);
  ASSERT_FALSE(window.boxes.empty());
  EXPECT_NE(window.clipboard.find("組み込み関数[12345678]は定義されていません"), std::string::npos) << window.clipboard;
  EXPECT_EQ(window.clipboard, window.boxes[0].text);
}

TEST(MainWindow, the_debug_about_dialog_waits_for_the_player_and_writes_its_options) {
  TempDirectory game;
  WindowGame setup;
  setup.body = watching_body(1500);
  // Help menu, last item; the first check box; OK with Return.
  setup.replay =
      "100 mouse move 20 0\n150 click left 400 8\n300 click left 420 62\n500 screenshot about.png\n"
      "600 click left 118 187\n800 key Return\n900 screenshot after.png\n";
  WindowRun window = run_window_game(game, setup);
  std::vector<uint8_t> about = read_bytes(game.at("about.png"));
  std::vector<uint8_t> after = read_bytes(game.at("after.png"));
  EXPECT_GT(about.size(), after.size()) << "the dialog shows in the screenshot";
  // The caption named the script position while the dialog was open.
  EXPECT_NE(std::find(window.captions.begin(), window.captions.end(), "START.TVO(1)"), window.captions.end());
  TestEngine check(game.path());
  check.engine.resources.settings.store_directory = game.at("settings");
  EXPECT_EQ(registry_int(check, "ReprotNoVoice"), 1);
}

TEST(MainWindow, the_toggle_key_switches_once_within_a_second_and_alt_enter_switches_too) {
  struct Case {
    const char* replay;
    platform::ScreenMode mode;
  };
  const Case cases[] = {
      {"100 key F4\n", platform::ScreenMode::FullScreenDesktop},
      {"100 key F4\n300 key F4\n", platform::ScreenMode::FullScreenDesktop},
      {"100 key F4\n1300 key F4\n", platform::ScreenMode::Windowed},
      {"100 key down Left Alt\n150 key Return\n250 key up Left Alt\n", platform::ScreenMode::FullScreenDesktop},
  };
  for (const Case& test_case : cases) {
    TempDirectory game;
    WindowGame setup;
    setup.body = watching_body(1500);
    setup.replay = test_case.replay;
    platform::ScreenMode mode = platform::ScreenMode::Windowed;
    setup.before = [&](TestEngine& test) {
      test.platform.schedule(1000 + 1450, [&] { mode = test.platform.screen().mode; });
    };
    run_window_game(game, setup);
    EXPECT_EQ(mode, test_case.mode) << test_case.replay;
  }
}

TEST(MainWindow, a_full_screen_run_restores_full_screen_at_the_next_start) {
  TempDirectory game;
  WindowGame setup;
  setup.body = watching_body(300);
  setup.replay = "100 key F4\n";
  run_window_game(game, setup);
  bool restored = false;
  setup.replay = "";
  setup.before = [&](TestEngine& test) {
    test.platform.schedule(1000 + 200, [&] { restored = test.platform.screen().mode != platform::ScreenMode::Windowed; });
  };
  run_window_game(game, setup);
  EXPECT_TRUE(restored);
}

TEST(MainWindow, shutdown_shows_its_steps_in_the_caption_in_debug_mode) {
  TempDirectory game;
  WindowGame setup;
  setup.body = watching_body(10) + "    push_int 5\n    set_int_pop global int \"@kept@GLOBAL\"\n";
  WindowRun window = run_window_game(game, setup);
  const Lines steps = {"thumbnail",        "eternal",          "global",       "save_global", "save_threadglobal",
                       "save_local",       "TAVELO",           "ReleaseSpriteAll", "ReleaseEventAll", "FreeMajList",
                       "RemoveFont",       "ForExec",          "ExecOut - END", "KATAZUKE",   "KATAZUKE - END"};
  Lines shown;
  for (const std::string& caption : window.captions) {
    if (std::find(steps.begin(), steps.end(), caption) != steps.end()) shown.push_back(caption);
  }
  EXPECT_EQ(shown, steps);
  char item[64];
  std::snprintf(item, sizeof item, "global_Item_free : %x / type : 0", resources::name_hash("@kept@GLOBAL"));
  EXPECT_NE(std::find(window.captions.begin(), window.captions.end(), item), window.captions.end());

  TempDirectory product;
  setup.debug_mode = false;
  WindowRun quiet = run_window_game(product, setup);
  EXPECT_EQ(std::find(quiet.captions.begin(), quiet.captions.end(), "KATAZUKE"), quiet.captions.end());
}

TEST(MainWindow, the_program_refuses_a_bad_input_file_before_the_game_starts) {
  TempDirectory game;
  write_game(game, {{{"scenario/start.tvo", start_script("    push_string \"started\"\n    PRINT\n")}}});
  game.write("input.txt", "# replay\n100 key Return\n50 key Space\n");
  ProcessResult result = run_tavelo(game, "--input '" + game.at("input.txt") + "'");
  EXPECT_EQ(result.exit_status, 2);
  EXPECT_NE(result.output.find("input.txt:3: times must not decrease"), std::string::npos) << result.output;
  EXPECT_TRUE(read_bytes(game.at("debugout.log")).empty());
}

TEST(MainWindow, return_and_the_keypads_enter_choose_a_menu_item_from_the_keyboard) {
  // F10 opens the first menu with its first item chosen (セーブ is greyed
  // while saving is off, so ロード is); the key takes it.
  for (const char* key : {"Return", "Keypad Enter"}) {
    SCOPED_TRACE(key);
    TempDirectory game;
    WindowGame setup;
    setup.body = watching_body(800);
    setup.replay = std::string("100 key F10\n300 key ") + key + "\n";
    WindowRun window = run_window_game(game, setup);
    EXPECT_EQ(count_of(window.run.lines, "load menu"), 1) << window.run.game.log;
  }
}

TEST(MainWindow, the_menus_name_the_function_keys_and_about_names_the_engine_when_the_game_names_no_version) {
  TempDirectory game;
  WindowGame setup;
  setup.body = watching_body(800);
  setup.debug_mode = false;
  setup.after = [](TestEngine& test) {
    std::vector<std::string> labels;
    std::function<void(const std::vector<platform::MenuEntry>&)> walk = [&](const auto& entries) {
      for (const platform::MenuEntry& entry : entries) {
        labels.push_back(entry.label);
        walk(entry.children);
      }
    };
    walk(test.platform.menus());
    for (const char* label : {"セーブ(&S)\tF2", "ロード(&O)\tF3", "フルスクリーン(&F)\tF4", "画面の保存(&T)...\tF5"}) {
      EXPECT_NE(std::find(labels.begin(), labels.end(), label), labels.end()) << label;
    }
  };
  run_window_game(game, setup);
  // The about dialog of a game without VERSION differs from one whose
  // VERSION is the old default build date.
  const std::string about = "100 mouse move 20 0\n150 click left 400 8\n300 click left 420 40\n500 screenshot about.png\n";
  std::vector<uint8_t> pictures[2];
  for (int i = 0; i < 2; ++i) {
    TempDirectory other;
    WindowGame shown;
    shown.body = watching_body(800);
    shown.debug_mode = false;
    if (i == 1) shown.environment += "VERSION Build Thu Nov 20 23:36:52 2008\n";
    shown.replay = about;
    run_window_game(other, shown);
    pictures[i] = read_bytes(other.at("about.png"));
    ASSERT_FALSE(pictures[i].empty());
  }
  EXPECT_NE(pictures[0], pictures[1]);
}

}  // namespace
}  // namespace tavelo::testing
