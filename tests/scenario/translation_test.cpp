// Translated games through real scripts: UTF-8 game text in the alphabetic
// layout (TEXT_LAYOUT 1). Window: IPA Gothic 24 pixels, whose Latin letters
// and spaces are 12 pixels wide and its kana 24 (pitch 30). The expected
// lines are derived by hand from those widths: breaks after spaces, after
// hyphens, beside kana where the kinsoku tables allow, and words too long
// for a line cut with a hyphen.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/event_names.h"
#include "tests/support/script_harness.h"
#include "text/message_window.h"

namespace tavelo::testing {
namespace {

using Lines = std::vector<std::string>;

// Prints "line x y width" for every drawn line and "name NAME" for speakers.
const std::string kHandlers = R"(
.function "$on_line@GLOBAL" on_line
.function "$on_name@GLOBAL" on_name
on_line:
    load local int slot:-5
    load local int slot:-4
    load local int slot:-3
    push_string "line"
    PRINT 4
    return
on_name:
    load local string slot:-2
    push_string "name"
    PRINT 2
    return
)";

struct Page {
  std::string environment = "TEXT_LAYOUT 1\n";
  int window_width = 120;
  std::string body;  // after the window is set up
};

Lines run_page(const Page& page) {
  std::string body = "    push_int {$on_line@GLOBAL}\n    push_string \"" + event_name_for(text::kEventLineDrawn) +
                     "\"\n    syscall_discard event_register 2\n";
  body += "    push_int {$on_name@GLOBAL}\n    push_string \"" + event_name_for(text::kEventSpeakerName) +
          "\"\n    syscall_discard event_register 2\n";
  body += "    push_int 480\n    push_int 640\n    syscall page_create 2\n    set_int_pop global int \"@page@GLOBAL\"\n";
  body += "    push_int 480\n    push_int " + std::to_string(page.window_width) +
          "\n    push_int 0\n    push_int 0\n    load global int \"@page@GLOBAL\"\n    syscall_discard console_set 5\n";
  body += "    push_int 24\n    push_string \"ＭＳ ゴシック\"\n    syscall_discard console_font 2\n";
  body += page.body;

  TempDirectory game;
  GameFiles files;
  files.code_page = "UTF-8";
  files.environment += page.environment;
  files.scripts.push_back({"scenario/start.tvo", start_script(body, expand_script(kHandlers))});
  write_game(game, files);
  RunHooks hooks;
  hooks.code_page = "UTF-8";
  GameRun run = run_game(game, {}, {}, hooks);
  Lines lines;
  for (const std::string& line : log_messages(run.log)) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::string say(std::string_view text) { return "    text \"" + std::string(text) + "\"\n    message\n"; }

TEST(Translation, alphabetic_lines_break_between_words_and_keep_kinsoku_in_japanese_runs) {
  struct Case {
    const char* text;
    Lines expected;  // y and width of each line (x is 0)
  };
  const Case cases[] = {
      // "The quick" 108, "brown fox" 108, "jumps over" exactly 120 (its
      // space hangs past the edge), "the lazy" 96, "dog" 36.
      {"The quick brown fox jumps over the lazy dog",
       {"line 0 0 108 ", "line 0 30 108 ", "line 0 60 120 ", "line 0 90 96 ", "line 0 120 36 "}},
      // After a hyphen: "a well-" 84 (with "known" the line would be 132).
      {"a well-known word", {"line 0 0 84 ", "line 0 30 120 "}},
      // "。" may not start a line: "う" goes down with it (96 + 96).
      {"OK, あいう。かき", {"line 0 0 96 ", "line 0 30 96 "}},
      // "『" may not end a line: it goes down, and the line breaks at the space.
      {"abcdefg 『あいう』", {"line 0 0 84 ", "line 0 30 120 "}},
      // Longer than a line: nine letters and a hyphen fill 120.
      {"Supercalifragilistic", {"line 0 0 120 ", "line 0 30 120 ", "line 0 60 24 "}},
  };
  for (const Case& c : cases) {
    Page page;
    page.body = say(c.text);
    EXPECT_EQ(run_page(page), c.expected) << c.text;
  }
}

TEST(Translation, speaker_names_and_history_replay_work_in_the_alphabetic_layout) {
  Page page;
  page.window_width = 240;
  page.body = "    control \"w\"\n" + say("Taro「Good evening, everyone」") + "    control \"p\"\n" +
              "    push_int -1\n    syscall_discard history_replay_nowait 1\n";
  // The speaker's name, then "「Good evening," (24 + 13 × 12) and "everyone」"
  // (8 × 12 + 24) under the bracket's indent of 24; the replay of the newest
  // page shows them again.
  const Lines shown = {"name Taro ", "line 0 0 180 ", "line 24 30 120 "};
  Lines expected = shown;
  expected.insert(expected.end(), shown.begin(), shown.end());
  EXPECT_EQ(run_page(page), expected);
}

TEST(Translation, the_environment_names_the_code_page) {
  TempDirectory game;
  GameFiles files;
  files.code_page = "UTF-8";
  files.environment += "CODEPAGE UTF-8\n";
  files.scripts.push_back(
      {"scenario/start.tvo", start_script("    push_string \"Grüße, こんにちは\"\n    PRINT 1\n")});
  write_game(game, files);
  ProcessResult result = run_tavelo(game);
  EXPECT_EQ(result.exit_status, 0) << result.output;
  std::vector<uint8_t> log = read_bytes(game.at("debugout.log"));
  EXPECT_NE(std::string(log.begin(), log.end()).find("Grüße, こんにちは"), std::string::npos);
}

}  // namespace
}  // namespace tavelo::testing
