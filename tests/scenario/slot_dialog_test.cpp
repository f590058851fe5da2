// The slot dialog and the file dialogs of saving: the rows a page lists, the
// name save-as proposes, the slot dialog driven by replayed keys and clicks
// on the headless platform, and saving to and loading from chosen files.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dialogs/file_dialog.h"
#include "dialogs/slot_dialog.h"
#include "host/input_replay.h"
#include "resources/settings.h"
#include "resources/state.h"
#include "tests/support/script_harness.h"
#include "tests/support/test_engine.h"

namespace tavelo::testing {
namespace {

using Lines = std::vector<std::string>;

TEST(SlotDialog, pages_list_their_slots_numbers_chapters_and_markers) {
  // Slots 102, 1005 and the newest quick save have files.
  dialogs::SlotReader read = [](int32_t slot, dialogs::ThumbnailRead) -> std::optional<dialogs::SlotFile> {
    dialogs::SlotFile file;
    file.time = {2026, 1, 2, 3, 4, 5};
    if (slot == 102) file.comment = "第一章∵はじまり∵続き";
    else if (slot == 1005) file.comment = "章のないコメント";
    else if (slot == 10003) file.comment = "∵早い";
    else return std::nullopt;
    return file;
  };
  struct Row {
    int32_t page_base;
    size_t row;
    int32_t slot;
    const char* number;
    const char* chapter;
    const char* comment;
    const char* time;
    const char* marker;
  };
  const Row rows[] = {
      {101, 0, 101, "  1", "", "", "", ""},
      {101, 1, 102, "  2", "第一章", "はじまり∵続き", "26/01/02 03:04", "NEW"},
      {1001, 0, 1001, " 91", "", "", "", ""},
      {1001, 4, 1005, " 95", "", "章のないコメント", "26/01/02 03:04", ""},
      {1001, 9, 1010, "100", "", "", "", ""},
      {1101, 0, 10001, "Auto", "", "", "", "NEW"},
      {1101, 1, -1, "", "", "", "", ""},
      {1101, 2, 10003, "Q 01", "", "早い", "26/01/02 03:04", "NEW"},
      {1101, 9, 10010, "Q 08", "", "", "", ""},
  };
  for (const Row& expected : rows) {
    std::vector<dialogs::SlotRow> page = dialogs::list_page(expected.page_base, 102, read);
    ASSERT_EQ(page.size(), 10u);
    const dialogs::SlotRow& row = page[expected.row];
    SCOPED_TRACE(std::to_string(expected.page_base) + " row " + std::to_string(expected.row));
    EXPECT_EQ(row.slot, expected.slot);
    EXPECT_EQ(row.number, expected.number);
    EXPECT_EQ(row.chapter, expected.chapter);
    EXPECT_EQ(row.comment, expected.comment);
    EXPECT_EQ(row.time, expected.time);
    EXPECT_EQ(row.marker, expected.marker);
  }
}

TEST(SlotDialog, save_as_proposes_the_comment_and_time_with_full_width_forbidden_characters) {
  platform::LocalTime now{2026, 3, 4, 5, 6, 7};
  EXPECT_EQ(dialogs::proposed_save_name("なぜ?", now), "なぜ？（26年03月04日 05時06分）.sav");
  EXPECT_EQ(dialogs::proposed_save_name("a\\b/c:d,e;f*g'h<i>j|k", now),
            "a￥b／c：d，e；f＊g”h＜i＞j｜k（26年03月04日 05時06分）.sav");
}

// Saves slot 102 ("第一章∵はじまり"), then opens the slot dialog once per
// (mode, newest) pair, printing each result.
std::string dialogs_body(std::initializer_list<int> modes) {
  std::string body =
      "    syscall_discard 0x4D849AA6 0\n    syscall_discard 0x1BB47604 0\n"
      "    push_string \"第一章∵はじまり\"\n    syscall_discard 0xF8004993 1\n"
      "    push_int 102\n    syscall_discard 0x89018DD1 1\n";
  for (int mode : modes) {
    body += "    push_int 102\n    push_int " + std::to_string(mode) + "\n    syscall 0x9AF10167 2\n    PRINT\n";
  }
  return body;
}

Lines run_with_replay(TempDirectory& game, const std::string& body, const std::string& replay,
                      platform::AnswerPolicy policy = {}, std::function<void(TestEngine&)> before = {}) {
  GameFiles files;
  files.scripts.push_back({"scenario/start.tvo", start_script(body)});
  write_game(game, files);
  host::ReplayParse parsed = host::parse_input_replay(replay, game.path());
  EXPECT_FALSE(parsed.error) << parsed.error->line << ": " << parsed.error->reason;
  RunHooks hooks;
  hooks.before = [&](TestEngine& test) {
    host::load_input_replay(test.engine, parsed.events);
    if (before) before(test);
  };
  std::filesystem::remove(game.at("debugout.log"));
  return log_messages(run_game(game, {}, policy, hooks).log);
}

constexpr int kSave = 0;
constexpr int kLoad = 1;

TEST(SlotDialog, replayed_keys_choose_page_through_and_cancel) {
  TempDirectory game;
  std::string replay =
      // Load: the second row of page 1 is the saved slot 102.
      "100 key Down\n200 key Down\n300 key Return\n"
      // Load: slot 101 is empty and cannot be confirmed; Escape gives -1.
      "500 key Down\n600 key Return\n700 key Escape\n"
      // Load: ten pages on is the Auto / Quick page; Escape keeps it.
      "900 key Right\n950 key Right\n1000 key Right\n1050 key Right\n1100 key Right\n1150 key Right\n"
      "1200 key Right\n1250 key Right\n1300 key Right\n1350 key Right\n1400 key Escape\n"
      // Save: the kept Auto / Quick page is not there, page 1 opens; paging
      // stops at page 10, whose first row is slot 1001.
      "1600 key Right\n1650 key Right\n1700 key Right\n1750 key Right\n1800 key Right\n1850 key Right\n"
      "1900 key Right\n1950 key Right\n2000 key Right\n2050 key Right\n2100 key Right\n"
      "2200 key Down\n2300 key Return\n";
  Lines lines = run_with_replay(game, dialogs_body({kLoad, kLoad, kLoad, kSave}), replay);
  EXPECT_EQ(lines, (Lines{"102 ", "-1 ", "-1 ", "1001 "}));
}

TEST(SlotDialog, replayed_clicks_choose_a_tab_and_a_row_and_a_right_click_cancels) {
  TempDirectory game;
  // The dialog's places in the 640 × 480 window: tabs at y 94, rows from
  // y 139 every 20 pixels, OK at (60, 340).
  std::string replay =
      // Save: the tab of page 2, its third row, then OK.
      "200 click left 100 94\n300 click left 100 179\n400 click left 60 340\n"
      // Load (page 2 kept): page 1's tab, a double click on slot 102.
      "600 click left 40 94\n700 click left 100 159\n800 click left 100 159\n"
      // Load: a right click anywhere in the dialog.
      "1000 click right 300 300\n";
  Lines lines = run_with_replay(game, dialogs_body({kSave, kLoad, kLoad}), replay);
  EXPECT_EQ(lines, (Lines{"203 ", "102 ", "-1 "}));
}

TEST(SlotDialog, a_thumbnail_moves_nothing_the_player_clicks_next_and_every_tab_can_be_clicked) {
  TempDirectory game;
  // Slot 102 with a 160 × 120 thumbnail (the dialog keeps room for it, so it
  // sits 20 pixels higher): a click on its row, then on ロード where it was
  // before the row was chosen; then the Auto / Quick tab at the bar's right
  // end, and Escape.
  std::string body = dialogs_body({});
  body.insert(body.find("    push_int 102\n"), "    push_int 120\n    push_int 160\n    syscall_discard 0x9143DC9E 2\n");
  body += "    push_int 102\n    push_int 1\n    syscall 0x9AF10167 2\n    PRINT\n";
  body += "    push_int 102\n    push_int 1\n    syscall 0x9AF10167 2\n    PRINT\n";
  std::string replay = "200 click left 100 135\n400 click left 60 320\n600 click left 570 71\n800 key Escape\n";
  int32_t kept_page = 0;
  Lines lines = run_with_replay(game, body, replay, {}, [&](TestEngine&) {});
  TestEngine check(game.path());
  check.engine.resources.settings.store_directory = game.at("settings");
  kept_page = resources::reg_read_int(check.engine.resources, "LOADSAVEDLG_NumBase", -1);
  EXPECT_EQ(lines, (Lines{"102 ", "-1 "}));
  EXPECT_EQ(kept_page, 1101) << "the Auto / Quick tab is whole and takes the click";
}

// A save point with a comment; then three saves-as and two loads from
// files, each printing its result, and "loaded" once the load brought the
// game back to the save point.
constexpr const char* kFileBody = R"(
    syscall_discard 0x4D849AA6 0
    syscall_discard 0x1BB47604 0
    push_string "c?"
    syscall_discard 0xF8004993 1
    load eternal int "#loaded@GLOBAL"
    jump_if_true loaded
    syscall 0x8F874E29 0
    PRINT
    push_int 100
    syscall_discard 0xCF35F0E3 1
    syscall 0x8F874E29 0
    PRINT
    syscall 0x8F874E29 0
    PRINT
    syscall 0x3CBA6309 0
    PRINT
    push_int 1
    set_int_pop eternal int "#loaded@GLOBAL"
    syscall 0x3CBA6309 0
    PRINT
    push_int 100
    syscall_discard 0xCF35F0E3 1
    jump done
loaded:
    push_string "loaded"
    PRINT
done:
)";

TEST(SlotDialog, save_as_and_load_from_file_use_the_chosen_files) {
  TempDirectory game;
  std::string named = game.at("elsewhere/named.sav");
  std::string too_long = game.at(std::string(200, 'x') + ".sav");
  platform::AnswerPolicy policy;
  // The first save-as takes its proposal, the second is cancelled; the
  // player then names the files (after the first dialog).
  policy.queued = {platform::Answer::Ok, platform::Answer::Cancel};
  auto before = [&](TestEngine& test) {
    test.platform.schedule(1050, [&test, named, too_long] {
      test.platform.queue_dialog_text(named);
      test.platform.queue_dialog_text(too_long);
      test.platform.queue_dialog_text(named);
    });
  };
  std::vector<platform::RecordedBox> boxes;
  Lines lines = run_with_replay(game, kFileBody, "", policy, before);
  bool proposed = false;
  for (const auto& entry : std::filesystem::directory_iterator(game.at("savedata"))) {
    std::string name = entry.path().filename().string();
    proposed = proposed || (name.rfind("c？（", 0) == 0 && name.find("分）.sav") != std::string::npos);
  }
  EXPECT_TRUE(proposed) << "the proposal lies in savedata under the game";
  EXPECT_TRUE(std::filesystem::exists(named));
  EXPECT_EQ(lines, (Lines{"0 ", "-1 ", "0 ", "-1 ", "loaded "}));
}

// The file dialogs wait for replayed input as the slot dialog does: Escape
// cancels (-1, nothing written), Return takes the proposed name.
TEST(SlotDialog, replayed_keys_cancel_or_accept_the_file_dialogs) {
  TempDirectory game;
  game.make_directory("savedata");
  const std::string body = R"(
    syscall_discard 0x4D849AA6 0
    syscall_discard 0x1BB47604 0
    push_string "c?"
    syscall_discard 0xF8004993 1
    syscall 0x8F874E29 0
    PRINT
    syscall 0x8F874E29 0
    PRINT
    syscall 0x3CBA6309 0
    PRINT
)";
  Lines lines = run_with_replay(game, body, "300 key Escape\n600 key Return\n900 key Escape\n");
  EXPECT_EQ(lines, (Lines{"-1 ", "0 ", "-1 "}));
  size_t saved = 0;
  for (const auto& entry : std::filesystem::directory_iterator(game.at("savedata"))) {
    saved += entry.path().filename().string().rfind("c？（", 0) == 0;
  }
  EXPECT_EQ(saved, 1u) << "the accepted save wrote its proposal, the cancelled one nothing";
}

}  // namespace
}  // namespace tavelo::testing
