// Read marks through real scripts: lines shown in one run count as read in
// the next, read-skip stops at the first unread line, the always-read list,
// lines of other threads, and damaged read-mark files.

#include <gtest/gtest.h>

#include <filesystem>

#include "host/engine.h"
#include "tests/support/script_harness.h"

namespace tavelo::testing {
namespace {

using Lines = std::vector<std::string>;

// Both runs share the line count, so the second run's script keeps the marks.
constexpr const char* kLineCount = ".line_count 64\n";

struct TwoRuns {
  TempDirectory game;

  ScriptRun run(std::string_view body, std::string_view extra = "", const RunHooks& hooks = {}) {
    GameFiles files;
    files.scripts.push_back({"scenario/start.tvo", start_script(body, std::string(kLineCount) + std::string(extra))});
    write_game(game, files);
    // The debug log grows across runs; each run reads its own lines.
    std::filesystem::remove(game.at("debugout.log"));
    ScriptRun result;
    result.game = run_game(game, {}, {}, hooks);
    result.lines = log_messages(result.game.log);
    return result;
  }
  std::string mark_file() const { return game.at("savedata/tavelo_readmark.tss"); }
};

// Shows line 7 twice and prints the current-line-read flag each time.
constexpr const char* kLineSevenTwice = R"(
    line 7
    syscall 0xF6416E87 0
    PRINT
    line 7
    syscall 0xF6416E87 0
    PRINT
)";

TEST(ReadMarks, a_line_reads_as_read_the_second_time_and_after_a_restart) {
  TwoRuns runs;
  EXPECT_EQ(runs.run(kLineSevenTwice).lines, (Lines{"0 ", "1 "}));
  ASSERT_TRUE(std::filesystem::exists(runs.mark_file()));
  EXPECT_EQ(runs.run(kLineSevenTwice).lines, (Lines{"1 ", "1 "}));
}

TEST(ReadMarks, read_skip_passes_read_lines_and_stops_at_the_first_unread_one) {
  TwoRuns runs;
  runs.run("    line 2\n    line 3\n");
  ScriptRun second = runs.run(R"(
    syscall_discard 0x86F0F608 0   ; read-skip
    line 2
    syscall 0xA62AA5EB 0
    PRINT
    line 3
    syscall 0xA62AA5EB 0
    PRINT
    line 4
    syscall 0xA62AA5EB 0
    PRINT
    syscall 0x3C84073C 0           ; read-skip has switched itself off
    PRINT
    line 3
    syscall 0xA62AA5EB 0
    PRINT
    syscall_discard 0x4B306C5C 0   ; skip all
    line 5
    syscall 0xA62AA5EB 0
    PRINT
    syscall 0x3C84073C 0
    PRINT
  )");
  EXPECT_EQ(second.lines, (Lines{"1 ", "1 ", "0 ", "0 ", "0 ", "1 ", "1 "}));
}

TEST(ReadMarks, scripts_in_the_always_read_list_count_as_read_on_their_first_run) {
  TwoRuns runs;
  ScriptRun run = runs.run(R"(
    push_string "menu.tvo,start.tvo"
    syscall_discard 0x7547C477 1
    syscall_discard 0x86F0F608 0
    line 10
    syscall 0xF6416E87 0
    PRINT
    syscall 0xA62AA5EB 0
    PRINT
    push_string "XSTART.TV"
    syscall_discard 0x7547C477 1
    line 11
    syscall 0xA62AA5EB 0
    PRINT
  )");
  EXPECT_EQ(run.lines, (Lines{"1 ", "1 ", "0 "}));
}

TEST(ReadMarks, lines_of_other_threads_mark_nothing) {
  TwoRuns runs;
  ScriptRun run = runs.run(R"(
    push_int {$side@GLOBAL}
    syscall 0xF2F9DAA8 1
    pop
    push_int 50
    syscall_discard 0xCF35F0E3 1
    line 9
    syscall 0xF6416E87 0
    PRINT
  )",
                           R"(
.function "$side@GLOBAL" side
side:
    line 9
    line 9
    push_string "side ran"
    PRINT
    return
)");
  EXPECT_EQ(run.lines, (Lines{"side ran ", "0 "}));
}

TEST(ReadMarks, damaged_files_keep_what_is_readable_and_are_replaced_at_the_end) {
  TwoRuns runs;
  runs.run("    line 7\n");
  std::vector<uint8_t> good = read_bytes(runs.mark_file());
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    Lines expected;
  };
  std::vector<uint8_t> torn = good;
  torn.insert(torn.end(), good.begin(), good.begin() + 150);  // a second record cut short
  std::vector<uint8_t> garbage(good.size(), 0xFF);
  std::vector<Case> cases = {
      {"torn final record", torn, {"1 ", "1 "}},
      {"garbage", garbage, {"0 ", "1 "}},
      {"empty", {}, {"0 ", "1 "}},
  };
  for (const Case& c : cases) {
    TwoRuns fresh;
    std::string_view bytes(reinterpret_cast<const char*>(c.file.data()), c.file.size());
    fresh.game.write("savedata/tavelo_readmark.tss", c.file.empty() ? std::string_view("") : bytes);
    EXPECT_EQ(fresh.run(kLineSevenTwice).lines, c.expected) << c.what;
    // The file written at the end is whole again.
    EXPECT_EQ(fresh.run(kLineSevenTwice).lines, (Lines{"1 ", "1 "})) << c.what;
  }
}

}  // namespace
}  // namespace tavelo::testing
