// The message window through real scripts: story text laid out line by line
// with the events the game's handlers see (speaker names, lines, page waits),
// line breaking and quotation indentation under the environment's rules,
// page waits ended by replayed clicks, text speed and pauses on the virtual
// clock, skip modes over read and unread lines, and the text history's page
// count and replay with voice names. Window: a 640 × 480 page, IPA Gothic 24
// pixels (kana advance 24, pitch 30).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "host/engine.h"
#include "script/error_report.h"
#include "tests/support/event_names.h"
#include "tests/support/host_input.h"
#include "tests/support/script_harness.h"
#include "text/message_window.h"
#include "text/state.h"

namespace tavelo::testing {
namespace {

using Lines = std::vector<std::string>;

// An event the window raises and what its handler prints: the tag, then the
// arguments marked 'i' (int) or 's' (string) in `arguments` ('-' skipped),
// then the script time when `timed`. The page-wait handler first waits for a
// left click (or for skipping); a paced line handler first reveals the line
// at the text speed.
struct Watched {
  uint32_t key;
  const char* tag;
  const char* arguments;
  bool timed = false;
  bool paced = false;
};

constexpr Watched kOpen{text::kEventWindowOpen, "open", "ii"};
constexpr Watched kName{text::kEventSpeakerName, "name", "s"};
constexpr Watched kLine{text::kEventLineDrawn, "line", "-iii--"};
constexpr Watched kTimedLine{text::kEventLineDrawn, "line", "", true};
constexpr Watched kPacedLine{text::kEventLineDrawn, "line", "", true, true};
constexpr Watched kWait{text::kEventPageWait, "wait", "", true};

std::string handler(size_t index, const Watched& watched) {
  const std::string label = "on_" + std::to_string(index);
  std::string source = ".function \"$" + label + "@GLOBAL\" " + label + "\n" + label + ":\n";
  if (watched.key == text::kEventPageWait) {
    source += "    on_left_click " + label + "_done\n    push_int -1\n    syscall_discard 0xCF35F0E3 1\n" + label +
              "_done:\n    clear_clicks\n";
  }
  if (watched.paced) {
    // Reveals the line: width / font height characters, text speed each.
    source += "    load local int slot:-5\n    syscall console_font_height 0\n    div_int\n"
              "    syscall console_text_speed 0\n    mul_int\n    syscall_discard 0xCF35F0E3 1\n";
  }
  int printed = 1;
  if (watched.timed) {
    source += "    syscall 0x6584F13E 0\n";
    ++printed;
  }
  const std::string arguments = watched.arguments;
  for (size_t k = arguments.size(); k-- > 0;) {
    if (arguments[k] == '-') continue;
    source += std::string("    load local ") + (arguments[k] == 's' ? "string" : "int") + " slot:" +
              std::to_string(-2 - int(k)) + "\n";
    ++printed;
  }
  source += "    push_string \"" + std::string(watched.tag) + "\"\n    PRINT " + std::to_string(printed) + "\n    return\n";
  return source;
}

struct Story {
  std::string environment;  // extra lines of tavelo.env
  std::vector<Watched> watched;
  std::string window = "20 300 600 160";  // left, top, width, height
  std::string body;                        // after the window is set up
  std::string functions;                   // more functions
  RunHooks hooks;
};

// Runs the story and returns the lines its handlers printed.
Lines run_story(const Story& story) {
  std::string body;
  std::string functions;
  for (size_t i = 0; i < story.watched.size(); ++i) {
    body += "    push_int {$on_" + std::to_string(i) + "@GLOBAL}\n    push_string \"" +
            event_name_for(story.watched[i].key) + "\"\n    syscall_discard 0x078A756E 2\n";
    functions += handler(i, story.watched[i]);
  }
  int left, top, width, height;
  std::sscanf(story.window.c_str(), "%d %d %d %d", &left, &top, &width, &height);
  body += "    push_int 480\n    push_int 640\n    syscall page_create 2\n    set_int_pop global int \"@page@GLOBAL\"\n";
  body += "    push_int " + std::to_string(height) + "\n    push_int " + std::to_string(width) + "\n    push_int " +
          std::to_string(top) + "\n    push_int " + std::to_string(left) +
          "\n    load global int \"@page@GLOBAL\"\n    syscall_discard console_set 5\n";
  body += "    push_int 24\n    push_string \"ＭＳ ゴシック\"\n    syscall_discard console_font 2\n";
  body += story.body;

  TempDirectory game;
  GameFiles files;
  files.environment += story.environment;
  files.scripts.push_back({"scenario/start.tvo", start_script(body, expand_script(functions + story.functions))});
  write_game(game, files);
  GameRun run = run_game(game, {}, {}, story.hooks);
  Lines lines;
  for (const std::string& line : log_messages(run.log)) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

// Text followed by the message instruction.
std::string say(std::string_view text) { return "    text \"" + std::string(text) + "\"\n    message\n"; }
std::string control(std::string_view code, std::string arguments = "") {
  return arguments + "    control \"" + std::string(code) + "\"\n";
}

TEST(MessageWindow, speaker_names_come_before_their_line_when_names_pop_up) {
  struct Case {
    const char* environment;
    Lines expected;
  };
  const Case cases[] = {
      {"", {"open 0 0 ", "name 太郎 ", "line 20 300 96 "}},
      {"NAMEPOPUP 0\n", {"open 0 0 ", "line 20 300 144 "}},
  };
  for (const Case& c : cases) {
    Story story;
    story.environment = c.environment;
    story.watched = {kOpen, kName, kLine};
    story.body = say("太郎「やあ」");
    EXPECT_EQ(run_story(story), c.expected) << c.environment;
  }
}

TEST(MessageWindow, lines_break_by_the_environments_rules) {
  struct Case {
    const char* environment;
    const char* text;
    Lines expected;  // x, y, width of each line
  };
  const Case cases[] = {
      {"", "あいうえおかきく", {"line 0 0 120 ", "line 0 30 72 "}},
      // "（" may not end a line, "。" may not start one. ("「" inside a text
      // would make the words before it a speaker name.)
      {"", "あいうえ（かき", {"line 0 0 96 ", "line 0 30 72 "}},
      {"", "あいうえお。か", {"line 0 0 96 ", "line 0 30 72 "}},
      {"GYOUTOUKINSOKU か\n", "あいうえおかき", {"line 0 0 96 ", "line 0 30 72 "}},
      // Quotations continue under their first character...
      {"", "「あいうえおかきく」", {"line 0 0 120 ", "line 24 30 72 ", "line 24 60 48 "}},
      {"INDENTOFFSET 6\n", "「あいうえおかきく」", {"line 0 0 120 ", "line 30 30 72 ", "line 30 60 48 "}},
      // ...unless SPACEINDENT is off.
      {"SPACEINDENT 0\n", "「あいうえおかきく」", {"line 0 0 120 ", "line 0 30 120 "}},
  };
  for (const Case& c : cases) {
    Story story;
    story.environment = c.environment;
    story.watched = {kLine};
    story.window = "0 0 120 480";
    story.body = say(c.text);
    EXPECT_EQ(run_story(story), c.expected) << c.environment << c.text;
  }
}

// Times printed by the handlers, by tag, in order, from start.
std::vector<int> times_of(const Lines& lines, std::string_view tag, uint32_t start = 0) {
  std::vector<int> times;
  for (const std::string& line : lines) {
    if (line.rfind(std::string(tag) + " ", 0) == 0) times.push_back(std::stoi(line.substr(tag.size() + 1)) - int(start));
  }
  return times;
}

TEST(MessageWindow, page_waits_end_with_clicks) {
  Story story;
  story.watched = {kTimedLine, kWait};
  story.body = say("一ページ目") + control("p") + control("w") + say("二ページ目") + control("p");
  uint32_t start = 0;  // the virtual clock when the engine starts
  story.hooks.before = [&start](TestEngine& test) {
    start = test.platform.ticks_ms();
    schedule_click(test, start + 1000, platform::MouseButton::Left);
    schedule_click(test, start + 2000, platform::MouseButton::Left);
  };
  const Lines lines = run_story(story);
  const std::vector<int> lines_at = times_of(lines, "line", start), waits_at = times_of(lines, "wait", start);
  ASSERT_EQ(lines_at.size(), 2u);
  ASSERT_EQ(waits_at.size(), 2u);
  EXPECT_LT(lines_at[0], 100);
  EXPECT_GE(waits_at[0], 1000);
  EXPECT_LT(waits_at[0], 1100);
  EXPECT_GE(lines_at[1], waits_at[0]);
  EXPECT_GE(waits_at[1], 2000);
  EXPECT_LT(waits_at[1], 2100);
}

TEST(MessageWindow, text_speed_and_pauses_run_on_the_virtual_clock) {
  Story story;
  story.environment = "MOJISPEED 40\n";
  story.watched = {kPacedLine};
  const std::string speed = "    syscall console_text_speed 0\n    PRINT\n";
  story.body = speed + control("s", "    push_int 15\n") + speed + say("あいう") +
               control("t", "    push_int 500\n") + say("えお") + control("p") + speed;
  const Lines lines = run_story(story);
  ASSERT_EQ(lines.size(), 5u) << ::testing::PrintToString(lines);
  EXPECT_EQ(lines[0], "40 ");  // the player's text speed (MojiSpeed, from MOJISPEED)
  EXPECT_EQ(lines[1], "15 ");  // the character delay of `s`
  const std::vector<int> at = times_of(lines, "line");
  ASSERT_EQ(at.size(), 2u);
  // The second line waited for the first to be revealed (3 × 15 ms), the
  // 500 ms pause, then its own two characters.
  EXPECT_GE(at[1] - at[0], 500 + 2 * 15);
  EXPECT_LT(at[1] - at[0], 500 + 2 * 15 + 20);
  EXPECT_EQ(lines[4], "40 ");  // `p` ends the page's delay
}

TEST(MessageWindow, skip_modes_pass_read_text_and_stop_at_unread_text) {
  // Page A twice (unread, then read), then page B (unread) under read-skip,
  // then page C (unread) under skip-all.
  Story story;
  story.watched = {kWait};
  story.body = "    call_discard \"$page_a@GLOBAL\" 0\n    syscall_discard 0x86F0F608 0\n"
               "    call_discard \"$page_a@GLOBAL\" 0\n"
               "    line 30\n" + say("二ページ目") + control("p") + control("w") +
               "    syscall 0x3C84073C 0\n    PRINT\n    syscall_discard 0x4B306C5C 0\n"
               "    line 40\n" + say("三ページ目") + control("p") + control("w") +
               "    syscall_discard 0x818A4B92 0\n";
  story.functions = ".function \"$page_a@GLOBAL\" page_a\npage_a:\n"
                    "    line 20\n" + say("一ページ目") + control("p") + control("w") + "    return\n";
  uint32_t start = 0;  // the virtual clock when the engine starts
  story.hooks.before = [&start](TestEngine& test) {
    start = test.platform.ticks_ms();
    schedule_click(test, start + 1000, platform::MouseButton::Left);
    schedule_click(test, start + 2000, platform::MouseButton::Left);
  };
  const Lines lines = run_story(story);
  const std::vector<int> waits = times_of(lines, "wait", start);
  ASSERT_EQ(waits.size(), 4u) << ::testing::PrintToString(lines);
  EXPECT_GE(waits[0], 1000);  // unread: a click
  EXPECT_LT(waits[1], 1100);  // read, read-skip on: at once
  EXPECT_GE(waits[2], 2000);  // unread: read-skip stops and waits
  EXPECT_LT(waits[3], 2100);  // skip-all passes unread text
  EXPECT_NE(std::find(lines.begin(), lines.end(), "0 "), lines.end());  // read-skip switched itself off
}

TEST(MessageWindow, history_counts_pages_and_replays_the_third_newest_with_its_voices) {
  Story story;
  for (int page = 1; page <= 4; ++page) {
    const std::string n = std::to_string(page);
    story.body += control("w") + control("v0voice_" + n) + say("「台詞" + n + "」") + control("p");
  }
  const std::string print = "    PRINT\n";
  story.body += "    syscall history_count_pages 0\n" + print +
                "    push_int 3\n    syscall history_page_offset 1\n    syscall_discard history_replay 1\n" +
                "    syscall console_quote_count 0\n" + print + "    push_int 0\n    syscall console_quote_voice 1\n" +
                print + "    push_int 0\n    syscall console_quote_top 1\n" + print +
                "    push_int 0\n    syscall console_quote_height 1\n" + print + "    syscall history_count_pages 0\n" +
                print;
  story.hooks.before = [](TestEngine& test) {
    test.engine.text.play_voice = [](host::Engine& engine, const text::VoiceAnnouncement& voice) {
      script::debug_log(engine.script, "voice " + std::string(voice.name));
      return true;
    };
  };
  const Lines expected = {"voice voice_1", "voice voice_2", "voice voice_3", "voice voice_4", "4 ",
                          // The replay plays the page's voice and records it for its quotation.
                          "voice voice_2", "1 ", "voice_2 ", "300 ", "30 ",
                          // Replaying appends nothing.
                          "4 "};
  EXPECT_EQ(run_story(story), expected);
}

}  // namespace
}  // namespace tavelo::testing
