// Error reports, the debug log, message boxes and the faults a broken script
// file can cause.

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>

#include "tests/support/script_harness.h"

namespace tavelo::testing {
namespace {

using Lines = std::vector<std::string>;
using platform::Answer;

TEST(DebugOutput, print_formats_every_value_type) {
  ScriptRun run = run_script(R"(
    push_int 1
    syscall 0x1F57B724 1
    push_int 1
    syscall 0xA6AC6CCC 1
    push_int 1
    syscall 0x96B07AEE 1
    push_string "abc"
    push_float 1.5
    push_int 3
    PRINT 6
  )");
  EXPECT_EQ(run.lines, (Lines{"3 1.500000 abc [INT_ARRAY] [FIXED_ARRAY] [STRING_ARRAY] "}));
}

TEST(DebugOutput, reports_name_the_chain_of_scripts_and_lines) {
  ScriptRun run = run_script(R"(
    line 10
    push_int {$lib_a@GLOBAL}
    push_string "lib"
    syscall_discard 0x9627DDC3 2      ; loads the library and calls into it
  )",
                             "", {}, {},
                             {{"scenario/lib.tvo", R"(
.function "$lib_a@GLOBAL" a
.function "$lib_b@GLOBAL" b
.function "$lib_c@GLOBAL" c
.function "$lib_d@GLOBAL" d
a:
    line 5
    syscall_discard 0x12345678 0
    call_discard "$lib_b@GLOBAL" 0
    return
b:
    line 6
    call_discard "$lib_c@GLOBAL" 0
    return
c:
    line 7
    call_discard "$lib_d@GLOBAL" 0
    return
d:
    line 8
    syscall_discard 0x12345678 0
    return
)"}});
  ASSERT_EQ(run.lines.size(), 3u);
  EXPECT_EQ(run.lines[0], "START.TVO(10).LIB.TVO(5) : 組み込み関数[12345678]は定義されていません");
  // From depth 3 on only the last four levels are named and the message
  // starts on a line of its own.
  EXPECT_EQ(run.lines[1], "LIB.TVO(5).LIB.TVO(6).LIB.TVO(7).LIB.TVO(8) : ");
  EXPECT_EQ(run.lines[2], "組み込み関数[12345678]は定義されていません");
}

TEST(DebugOutput, without_debug_mode_errors_are_silent_and_the_script_goes_on) {
  TempDirectory game;
  GameFiles files;
  files.debug_mode = false;
  files.scripts.push_back({"scenario/start.tvo", start_script(R"(
    syscall 0x12345678 0
    set_int_pop global int "@r@GLOBAL"
    push_string "not logged"
    PRINT
  )")});
  write_game(game, files);
  GameRun run = run_game(game);
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_TRUE(run.log.empty());
}

TEST(DebugOutput, message_box_calls_answer_by_their_buttons) {
  platform::AnswerPolicy policy;
  policy.queued = {Answer::Yes, Answer::No, Answer::Ok, Answer::Cancel, Answer::Retry, Answer::Ok};
  ScriptRun run = run_script(R"(
    push_string "question?"
    syscall 0x693D9729 1    ; yes/no
    push_string "question?"
    syscall 0x5F7FFD3B 1    ; yes/no, question icon
    push_string "ok?"
    syscall 0x0D141855 1    ; ok/cancel
    push_string "ok?"
    syscall 0xEDFD552C 1    ; ok/cancel, warning icon
    push_string "retry?"
    syscall 0xE218BA5F 1    ; retry/cancel
    push_string "fyi"
    syscall 0x4D2D4277 1    ; ok
    PRINT 6
    push_string "debug"
    syscall 0xB5551FDF 1    ; debug-only ok/cancel: logged and shown
    PRINT
  )",
                             "", policy);
  ASSERT_EQ(run.lines.size(), 3u);
  EXPECT_EQ(run.lines[0], "0 1 0 1 0 1 ");
  EXPECT_EQ(run.lines[1], "debug ");
  EXPECT_EQ(run.lines[2], "1 ");
  ASSERT_EQ(run.game.boxes.size(), 7u);
  EXPECT_EQ(run.game.boxes[0].text, "question? ");
  EXPECT_EQ(run.game.boxes[0].buttons, platform::Buttons::YesNo);
  EXPECT_EQ(run.game.boxes[3].icon, platform::Icon::Warning);
  EXPECT_EQ(run.game.boxes[6].icon, platform::Icon::Error);
}

struct BoxCall {
  uint32_t key;
  platform::Buttons buttons;
  platform::Icon icon;
  int first_button_result;
};

TEST(DebugOutput, every_box_call_shows_its_buttons_and_icon) {
  using platform::Buttons;
  using platform::Icon;
  const BoxCall calls[] = {
      {0x4D2D4277, Buttons::Ok, Icon::None, 0},          {0x0D141855, Buttons::OkCancel, Icon::None, 1},
      {0x693D9729, Buttons::YesNo, Icon::None, 1},       {0xE218BA5F, Buttons::RetryCancel, Icon::None, 1},
      {0xD0F4B51A, Buttons::Ok, Icon::Warning, 0},       {0xEDFD552C, Buttons::OkCancel, Icon::Warning, 1},
      {0x8DC0D2CD, Buttons::YesNo, Icon::Warning, 1},    {0x253982F4, Buttons::RetryCancel, Icon::Question, 1},
      {0x6E7F7FB7, Buttons::RetryCancel, Icon::Question, 1}, {0x67444F84, Buttons::Ok, Icon::Question, 0},
      {0x1576CCEC, Buttons::OkCancel, Icon::Question, 1}, {0x5F7FFD3B, Buttons::YesNo, Icon::Question, 1},
      {0xDF644F85, Buttons::Ok, Icon::Error, 0},         {0xB5551FDF, Buttons::OkCancel, Icon::Error, 1},
      {0x65D3B77C, Buttons::YesNo, Icon::Error, 1},      {0x4020C370, Buttons::RetryCancel, Icon::Error, 1},
  };
  // Each box gets its own text (1000 + i): the headless platform gives up on
  // a box that repeats.
  std::string body;
  char line[96];
  for (size_t i = 0; i < std::size(calls); ++i) {
    std::snprintf(line, sizeof line, "    push_int %zu\n    syscall 0x%08X 1\n    PRINT\n", 1000 + i, calls[i].key);
    body += line;
  }
  ScriptRun run = run_script(body);
  // The debug-only boxes also write their text to the log first.
  std::vector<std::string> results;
  for (const std::string& text : run.lines) {
    if (text.size() < 5) results.push_back(text);
  }
  ASSERT_EQ(results.size(), std::size(calls));
  ASSERT_EQ(run.game.boxes.size(), std::size(calls));
  for (size_t i = 0; i < std::size(calls); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(run.game.boxes[i].buttons, calls[i].buttons);
    EXPECT_EQ(run.game.boxes[i].icon, calls[i].icon);
    EXPECT_EQ(run.game.boxes[i].text, std::to_string(1000 + i) + " ");
    EXPECT_EQ(results[i], std::to_string(calls[i].first_button_result) + " ");
  }
}

TEST(DebugOutput, debug_only_boxes_give_their_first_button_without_debug_mode) {
  TempDirectory game;
  GameFiles files;
  files.debug_mode = false;
  files.scripts.push_back({"scenario/start.tvo", start_script(R"(
    push_string "x"
    syscall 0x4020C370 1
    push_string "x"
    syscall 0x65D3B77C 1
    push_string "x"
    syscall 0xDF644F85 1
    add_int
    add_int
    push_string "shown"
    syscall_discard 0x67444F84 2     ; an ordinary box still shows
  )")});
  write_game(game, files);
  GameRun run = run_game(game);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].text, "shown 2 ");
}

struct FaultCase {
  const char* name;
  const char* body;
  const char* message;
};

class ScriptFaults : public ::testing::TestWithParam<FaultCase> {};

// A broken code block ends the engine with its message instead of running
// outside the code; the sanitizer build runs these too.
TEST_P(ScriptFaults, end_the_engine_with_a_message) {
  ScriptRun run = run_script(GetParam().body, R"(
.function "$deep@GLOBAL" deep
deep:
    call_discard "$deep@GLOBAL" 0
    return
)");
  EXPECT_EQ(run.game.status, 255);
  bool found = false;
  for (const platform::RecordedBox& box : run.game.boxes) {
    if (box.text.find(GetParam().message) != std::string::npos) found = true;
  }
  EXPECT_TRUE(found) << "no box says " << GetParam().message;
}

INSTANTIATE_TEST_SUITE_P(
    BrokenCode, ScriptFaults,
    ::testing::Values(FaultCase{"jump_outside", "    jump +100000\n", "がスクリプトのコードの外にあります"},
                      FaultCase{"jump_before", "    jump -1000\n", "がスクリプトのコードの外にあります"},
                      FaultCase{"handler_outside", "    on_left_click +5000\n", "がスクリプトのコードの外にあります"},
                      FaultCase{"underflow", "    pop\n    pop\n    pop\n", "スタックに積まれていない値を取り出しました"},
                      FaultCase{"bad_local", "    load local int slot:3000\n", "ローカル変数の番号"},
                      FaultCase{"compare_jump_outside",
                                "    locals int\n    load local int slot:0\n    push_int 1\n    lt_int\n    jump_if_true +100000\n",
                                "がスクリプトのコードの外にあります"},
                      FaultCase{"bad_local_in_a_loop_test",
                                "    load local int slot:3000\n    push_int 1\n    lt_int\n    jump_if_false +0\n",
                                "ローカル変数の番号"},
                      FaultCase{"depth_257", "    call_discard \"$deep@GLOBAL\" 0\n", "スタックオーバーフロー : ネストが深すぎます"},
                      // Runaway pushes end as runaway recursion does, instead
                      // of growing the stack until the system kills the engine.
                      FaultCase{"runaway_pushes", "runaway:\n    push_int 7\n    jump runaway\n",
                                "スタックオーバーフロー : スタックに積まれた値が多すぎます"},
                      FaultCase{"runaway_string_pushes", "runaway:\n    push_string \"x\"\n    jump runaway\n",
                                "スタックオーバーフロー : スタックに積まれた値が多すぎます"},
                      FaultCase{"runaway_locals", "runaway:\n    locals int float string\n    jump runaway\n",
                                "スタックオーバーフロー : スタックに積まれた値が多すぎます"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST(ScriptFaultsAtTheEnd, an_operand_cut_off_by_the_end_of_the_code_is_reported) {
  // The last instruction of the file is a push_int without its operand.
  TempDirectory game;
  GameFiles files;
  files.scripts.push_back({"scenario/start.tvo", expand_script(R"(
.entry main
.function "$init@GLOBAL" init
init:
    return
main:
    push_string "before"
    PRINT
    .bytes 0x00 0x08 0x01
)")});
  write_game(game, files);
  GameRun run = run_game(game);
  EXPECT_EQ(run.status, 255);
  std::vector<std::string> lines = log_messages(run.log);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "before ");
  EXPECT_NE(lines[1].find("命令[0800]のオペランドがコードの終わりで切れています"), std::string::npos) << lines[1];
}

}  // namespace
}  // namespace tavelo::testing
