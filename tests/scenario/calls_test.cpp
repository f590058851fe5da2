// Calls between script functions and scripts: parameters, results, recursion
// and the system calls that call or jump into other scripts.

#include <gtest/gtest.h>

#include "tests/support/script_harness.h"

namespace tavelo::testing {
namespace {

using Lines = std::vector<std::string>;

constexpr const char* kFunctions = R"(
.function "$two@GLOBAL" two
.function "$fib@GLOBAL" fib
.function "$text@GLOBAL" text
.function "$counter@GLOBAL" counter
two:
    params int int
    load local int slot:-2
    load local int slot:-3
    sub_int
    return
fib:
    params int
    load local int slot:-2
    push_int 2
    lt_int
    jump_if_false recurse
    load local int slot:-2
    return
recurse:
    load local int slot:-2
    push_int 1
    sub_int
    call "$fib@GLOBAL" 1
    load local int slot:-2
    push_int 2
    sub_int
    call "$fib@GLOBAL" 1
    add_int
    return
text:
    push_string "made"
    return
counter:
    load global int "@i@GLOBAL"
    return
)";

TEST(Calls, parameters_results_and_recursion) {
  ScriptRun run = run_script(R"(
    push_int 1000
    push_int 3
    push_int 10
    call "$two@GLOBAL" 3      ; the third argument is ignored
    push_int 15
    call "$fib@GLOBAL" 1
    call "$text@GLOBAL" 0
    call_discard "$text@GLOBAL" 0
    PRINT 3
    push_int 7
    call "$two@GLOBAL" 1      ; too few: reported, defaults for both
    PRINT 1
    push_string "x"
    push_int 1
    call "$two@GLOBAL" 2      ; the second argument has the wrong type
    PRINT 1
  )",
                             kFunctions);
  ASSERT_GE(run.lines.size(), 4u);
  EXPECT_EQ(run.lines[0], "made 610 7 ");
  EXPECT_NE(run.lines[1].find("START.TVO(1).START.TVO(1) : 関数のパラメータが不足しています。"), std::string::npos)
      << run.lines[1];
  EXPECT_EQ(run.lines[2], "0 ");
  EXPECT_NE(run.lines[3].find("関数のパラメータが(2個中、2番目)間違っています。"), std::string::npos) << run.lines[3];
}

TEST(Calls, a_string_where_an_int_parameter_belongs_reads_as_the_default) {
  // fib's test and its return of n both load n as an int: each load reports
  // the mismatch and yields 0, so fib("s") is 0.
  ScriptRun run = run_script(R"(
    push_string "s"
    call "$fib@GLOBAL" 1
    PRINT 1
  )",
                             kFunctions);
  ASSERT_GE(run.lines.size(), 2u);
  EXPECT_NE(run.lines[0].find("関数のパラメータが(1個中、1番目)間違っています。"), std::string::npos) << run.lines[0];
  int mismatches = 0;
  for (const std::string& line : run.lines) mismatches += line.find("発見した変数のタイプが違うエラー") != std::string::npos;
  EXPECT_EQ(mismatches, 2);
  EXPECT_EQ(run.lines.back(), "0 ");
}

TEST(Calls, the_stack_stays_balanced_over_many_calls) {
  // A result kept or discarded a hundred thousand times must leave the stack
  // where it was: the loop would otherwise grow it without bound.
  ScriptRun run = run_script(R"(
    push_int 0
    set_int_pop global int "@i@GLOBAL"
loop:
    call_discard "$text@GLOBAL" 0
    call "$text@GLOBAL" 0
    pop
    push_int 1
    call_discard "$fib@GLOBAL" 1
    call_discard "$counter@GLOBAL" 0
    call "$counter@GLOBAL" 0
    pop
    load global int pre_inc "@i@GLOBAL"
    push_int 100000
    lt_int
    jump_if_true loop
    push_string "balanced"
    call "$counter@GLOBAL" 0
    PRINT 2
  )",
                             kFunctions);
  EXPECT_EQ(run.lines, (Lines{"100000 balanced "}));
}

constexpr const char* kLibrary = R"(
.entry entry
.function "$lib_twice@GLOBAL" twice
.function "$lib_hello@GLOBAL" hello
entry:
    params int
    line 5
    load local int slot:-2
    push_int 100
    add_int
    return
twice:
    params int
    load local int slot:-2
    push_int 2
    mul_int
    return
hello:
    push_string "jumped"
    PRINT
    END
    return
)";

TEST(Calls, scripts_are_called_and_entered_by_name) {
  ScriptRun run = run_script(R"(
    push_int 1
    push_string "lib"
    syscall 0xCD00D280 2                  ; the library's entry function
    push_int 21
    push_int {$lib_twice@GLOBAL}
    push_string "lib"
    syscall 0x9627DDC3 3                  ; a function of the library by key
    push_int 4
    push_string "$lib_twice@GLOBAL"
    push_string "lib.tvo"
    syscall 0xEDEFB0B0 3                  ; by name
    push_int 5
    push_string "lib"
    syscall_discard 0x10DB0A43 2          ; discarded result
    PRINT 3
    push_int {$lib_hello@GLOBAL}
    syscall_discard 0x1E24E1B6 1          ; jump: this thread starts over there
    push_string "not reached"
    PRINT
  )",
                             "", {}, {}, {{"scenario/lib.tvo", kLibrary}});
  EXPECT_EQ(run.lines, (Lines{"8 42 101 ", "jumped "}));
}

TEST(Calls, jumping_into_a_script_passes_the_remaining_arguments) {
  ScriptRun run = run_script(R"(
    push_int 41
    push_string "lib"
    syscall_discard 0x718EF651 2
    push_string "not reached"
    PRINT
  )",
                             "", {}, {},
                             {{"scenario/lib.tvo", R"(
.entry entry
entry:
    params int
    load local int slot:-2
    PRINT
    END
    return
)"}});
  EXPECT_EQ(run.lines, (Lines{"41 "}));
}

TEST(Calls, a_missing_function_is_reported_until_the_engine_ends) {
  ScriptRun run = run_script(R"(
    call "$nowhere@GLOBAL" 0
  )");
  EXPECT_EQ(run.game.status, 255);
  ASSERT_FALSE(run.game.boxes.empty());
  EXPECT_NE(run.game.boxes.front().text.find("がメモリ上に発見できませんでした"), std::string::npos);
  EXPECT_EQ(run.game.boxes.back().answer, platform::Answer::Cancel);
}

TEST(Calls, the_next_start_script_runs_after_all_threads_end) {
  ScriptRun run = run_script(R"(
    push_string "second"
    syscall_discard 0x32530606 1
    push_int 1
    syscall_discard 0xCF35F0E3 1
    push_string "not reached"
    PRINT
  )",
                             "", {}, {},
                             {{"scenario/second.tvo", R"(
.entry entry
entry:
    push_string "second start"
    PRINT
    END
    return
)"}});
  EXPECT_EQ(run.lines, (Lines{"second start "}));
}

}  // namespace
}  // namespace tavelo::testing
