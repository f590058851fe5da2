// Script threads, events, waits and clicks, on the headless virtual clock.

#include <gtest/gtest.h>

#include <algorithm>

#include "host/engine.h"
#include "host/frame_loop.h"
#include "host/startup.h"
#include "resources/state.h"
#include "script/scheduler.h"
#include "script/state.h"
#include "tests/support/host_input.h"
#include "tests/support/game_builder.h"
#include "tests/support/script_harness.h"
#include "tests/support/test_engine.h"

namespace tavelo::testing {
namespace {

using Lines = std::vector<std::string>;

constexpr const char* kWorkers = R"(
.function "$worker@GLOBAL" worker
.function "$sleeper@GLOBAL" sleeper
.function "$on_ping@GLOBAL" on_ping
.function "$restarting@GLOBAL" restarting
.function "$ending@GLOBAL" ending
worker:
    params int
    load local int slot:-2
    PRINT
    return
sleeper:
    push_string "ping"
    push_int {$on_ping@GLOBAL}
    push_string "ping"
    syscall_discard 0x078A756E 2
    pop
    push_int -1
    syscall_discard 0xCF35F0E3 1      ; waits until asked to end
    push_string "sleeper ends"
    PRINT
    return
on_ping:
    params int
    push_string "pong"
    load local int slot:-2
    PRINT 2
    return
restarting:
    push_string "run"
    PRINT
    return
ending:
    on_end handler
    push_string "body"
    PRINT
    return
handler:
    push_string "end handler"
    PRINT
    return
)";

TEST(Threads, created_threads_run_in_the_next_cycle_and_end) {
  ScriptRun run = run_script(R"(
    push_int 7
    push_int {$worker@GLOBAL}
    syscall 0xF2F9DAA8 2
    set_int_pop global int "@id@GLOBAL"
    load global int "@id@GLOBAL"
    syscall 0x9FB53FBE 1            ; exists
    PRINT
    push_int 10
    syscall_discard 0xCF35F0E3 1
    load global int "@id@GLOBAL"
    syscall 0x9FB53FBE 1            ; ended and freed
    load global int "@id@GLOBAL"
    push_int 0
    ne_int
    PRINT 2
  )",
                             kWorkers);
  EXPECT_EQ(run.lines, (Lines{"1 ", "7 ", "1 0 "}));
}

TEST(Threads, events_reach_registered_threads_and_ended_threads_are_dropped) {
  ScriptRun run = run_script(R"(
    push_int {$sleeper@GLOBAL}
    syscall 0xF2F9DAA8 1
    set_int_pop global int "@id@GLOBAL"
    push_int 5
    syscall_discard 0xCF35F0E3 1
    push_int 1
    push_string "ping"
    syscall_discard 0x76EE6C90 2     ; to every registered handler
    push_int 5
    syscall_discard 0xCF35F0E3 1
    push_int 2
    load global int "@id@GLOBAL"
    push_string "ping"
    syscall_discard 0x29F1AC40 3     ; to one thread
    push_int 5
    syscall_discard 0xCF35F0E3 1
    load global int "@id@GLOBAL"
    syscall_discard 0x4EF903F3 1     ; end it
    push_int 5
    syscall_discard 0xCF35F0E3 1
    push_int 3
    push_string "ping"
    syscall_discard 0x76EE6C90 2     ; nobody listens any more
    push_string "done"
    PRINT
  )",
                             kWorkers);
  // An ended thread is freed by the main loop before its wait could run again.
  EXPECT_EQ(run.lines, (Lines{"1 pong ", "2 pong ", "done "}));
}

TEST(Threads, a_handler_registered_by_the_raising_thread_runs_at_once) {
  ScriptRun run = run_script(R"(
    push_int {$on_ping@GLOBAL}
    push_string "ping"
    syscall_discard 0x1295BBDA 2
    push_int 9
    push_string "ping"
    syscall 0x76EE6C90 2
    push_string "after"
    PRINT 2
    push_int {$on_ping@GLOBAL}
    push_string "ping"
    syscall_discard 0xA93C9856 2     ; unregistered
    push_int 10
    push_string "ping"
    syscall_discard 0x76EE6C90 2
  )",
                             kWorkers);
  EXPECT_EQ(run.lines, (Lines{"9 pong ", "after 0 "}));
}

TEST(Threads, end_handlers_and_restart_addresses) {
  ScriptRun run = run_script(R"(
    push_int {$ending@GLOBAL}
    syscall_discard 0xF2F9DAA8 1
    push_int 20
    syscall_discard 0xCF35F0E3 1
    push_string "main"
    PRINT
  )",
                             kWorkers);
  EXPECT_EQ(run.lines, (Lines{"body ", "end handler ", "main "}));
}

TEST(Threads, ending_the_main_thread_by_the_thread_call_is_refused) {
  ScriptRun run = run_script(R"(
    push_int 0
    syscall_discard 0x4EF903F3 1
    push_string "still here"
    PRINT
  )");
  ASSERT_EQ(run.lines.size(), 2u);
  EXPECT_NE(run.lines[0].find("thread(0)の終了には$system_end()を使用してください"), std::string::npos);
  EXPECT_EQ(run.lines[1], "still here ");
}

TEST(Threads, a_thread_ending_itself_twice_is_freed) {
  ScriptRun run = run_script(R"(
    push_int {$twice@GLOBAL}
    syscall 0xAE497F1A 1            ; a child thread
    set_int_pop global int "@id@GLOBAL"
    push_int 10
    syscall_discard 0xCF35F0E3 1
    load global int "@id@GLOBAL"
    syscall 0x9FB53FBE 1
    PRINT
  )",
                             R"(
.function "$twice@GLOBAL" twice
twice:
    on_end handler
    push_string "once"
    PRINT
    syscall_discard 0x4EF903F3 0      ; ends the slice; the end handler runs next
    push_string "never"
    PRINT
    return
handler:
    push_string "handler"
    PRINT
    syscall_discard 0x4EF903F3 0      ; a second request frees the thread
    push_string "never either"
    PRINT
    return
)");
  EXPECT_EQ(run.lines, (Lines{"once ", "handler ", "0 "}));
}

TEST(Threads, a_restart_address_runs_once_more_after_the_end) {
  ScriptRun run = run_script(R"(
    push_int {$restarter@GLOBAL}
    syscall_discard 0xF2F9DAA8 1
    push_int 20
    syscall_discard 0xCF35F0E3 1
  )",
                             std::string(kWorkers) + R"(
.function "$restarter@GLOBAL" restarter
restarter:
    push_int {$restarting@GLOBAL}
    syscall_discard 0x461EA516 1
    push_string "first"
    PRINT
    return
)");
  EXPECT_EQ(run.lines, (Lines{"first ", "run "}));
}

TEST(Threads, ending_all_threads_restarts_the_start_script_and_a_negative_code_ends_none) {
  ScriptRun run = run_script(R"(
    load eternal int post_inc "#runs@GLOBAL"
    push_int 0
    ne_int
    jump_if_true second_run
    push_int {$sleeper@GLOBAL}
    syscall 0xF2F9DAA8 1
    set_int_pop eternal int "#id@GLOBAL"
    push_int 5
    syscall_discard 0xCF35F0E3 1
    push_int -1
    syscall_discard 0x3704C919 1      ; a negative code ends nothing
    load eternal int "#id@GLOBAL"
    syscall 0x9FB53FBE 1
    PRINT
    syscall_discard 0x3704C919 0      ; every thread ends; the start script runs again
    push_string "not reached"
    PRINT
second_run:
    load eternal int "#id@GLOBAL"
    syscall 0x9FB53FBE 1
    PRINT
  )",
                             kWorkers);
  EXPECT_EQ(run.lines, (Lines{"1 ", "0 "}));
}

TEST(Waits, a_wait_takes_its_time_on_the_virtual_clock) {
  uint32_t before = 0, after = 0;
  RunHooks hooks;
  hooks.before = [&](TestEngine& test) { before = test.platform.ticks_ms(); };
  hooks.after = [&](TestEngine& test) { after = test.platform.ticks_ms(); };
  ScriptRun run = run_script(R"(
    syscall 0x6584F13E 0
    push_int 5000
    syscall_discard 0xCF35F0E3 1
    syscall 0x6584F13E 0
    sub_int
    PRINT
  )",
                             "", {}, hooks);
  ASSERT_EQ(run.lines.size(), 1u);
  EXPECT_EQ(run.lines[0], "-5000 ");
  EXPECT_GE(after - before, 5000u);
  EXPECT_LT(after - before, 5100u);
}

TEST(Waits, a_clock_jump_of_more_than_twelve_hours_ends_a_wait) {
  RunHooks hooks;
  hooks.before = [](TestEngine& test) {
    uint32_t start = test.platform.ticks_ms();
    test.platform.schedule(start + 100, [&test, start] { test.platform.set_clock(start + 100 - 50000000u); });
  };
  uint32_t after = 0;
  hooks.after = [&](TestEngine& test) { after = test.platform.ticks_ms(); };
  ScriptRun run = run_script(R"(
    push_int 5000
    syscall_discard 0xCF35F0E3 1
    push_string "woke"
    PRINT
  )",
                             "", {}, hooks);
  EXPECT_EQ(run.lines, (Lines{"woke "}));
}

TEST(Waits, a_timed_wait_from_a_start_far_in_the_past_waits_a_full_duration) {
  ScriptRun run = run_script(R"(
    syscall 0x6584F13E 0
    set_int_pop global int "@t0@GLOBAL"
    push_int 50
    push_int 5
    syscall_discard 0xFF75CD29 2      ; start 5 lies more than ten durations back
    syscall 0x6584F13E 0
    load global int "@t0@GLOBAL"
    sub_int
    PRINT
  )");
  ASSERT_EQ(run.lines.size(), 1u);
  int waited = std::stoi(run.lines[0]);
  EXPECT_GE(waited, 50);
  EXPECT_LT(waited, 60);
}

TEST(Waits, the_speed_factor_makes_script_time_run_faster_without_a_jump_back) {
  uint32_t before = 0, after = 0;
  RunHooks hooks;
  hooks.before = [&](TestEngine& test) { before = test.platform.ticks_ms(); };
  hooks.after = [&](TestEngine& test) { after = test.platform.ticks_ms(); };
  ScriptRun run = run_script(R"(
    push_float 2.0
    syscall_discard 0x806261CE 1
    push_int 1000
    syscall_discard 0xCF35F0E3 1
    push_float 1.0
    syscall_discard 0x806261CE 1
    syscall 0x6584F13E 0
    set_int_pop global int "@t@GLOBAL"
    push_int 1
    syscall_discard 0x4662E95D 0       ; a frame wait
    syscall 0x6584F13E 0
    load global int "@t@GLOBAL"
    ge_int
    PRINT
  )",
                             "", {}, hooks);
  EXPECT_EQ(run.lines, (Lines{"-1 "}));
  // A thousand script milliseconds took about five hundred real ones.
  EXPECT_GE(after - before, 480u);
  EXPECT_LT(after - before, 600u);
}

TEST(Waits, clicks_wake_a_click_wait_and_jump_to_handlers_ahead) {
  RunHooks hooks;
  hooks.before = [](TestEngine& test) {
    uint32_t start = test.platform.ticks_ms();
    schedule_click(test, start + 50, platform::MouseButton::Left);
    schedule_click(test, start + 200, platform::MouseButton::Right);
  };
  ScriptRun run = run_script(R"(
    syscall 0x008ACBC0 0               ; waits for the left click
    PRINT
    on_right_click clicked
    push_int -1
    syscall_discard 0xCF35F0E3 1       ; no deadline: only the click ends it
    push_string "not reached"
    PRINT
clicked:
    push_string "right handler"
    PRINT
    syscall 0x1204D7E8 0               ; nothing is held
    PRINT
  )",
                             "", {}, hooks);
  EXPECT_EQ(run.lines, (Lines{"1 ", "right handler ", "0 "}));
}

// A window wakes on input, so a wait only input ends needs no wake-up of its
// own; the virtual clock still steps through it, and a timed wait in another
// thread, or skipping, sets the window's wake-up again.
TEST(Threads, a_click_wait_lets_a_window_rest_until_input_but_not_the_virtual_clock) {
  TempDirectory game;
  GameFiles files;
  files.scripts.push_back({"scenario/start.tvo", start_script(R"(
    push_int 1
    syscall_discard wait_click 1
    push_int {$sleeper@GLOBAL}
    syscall 0xF2F9DAA8 1
    pop
    push_int 1
    syscall_discard wait_click 1
  )", R"(
.function "$sleeper@GLOBAL" sleeper
sleeper:
    push_int 40
    syscall_discard 0xCF35F0E3 1
    return
)")});
  write_game(game, files);
  TestEngine test(game.path());
  test.engine.resources.settings.store_directory = game.at("settings");
  host::EngineRun run;
  ASSERT_TRUE(host::start_engine(test.engine, {}, run));
  script::Machine& machine = test.engine.script;
  auto step_until = [&](auto done) {
    for (int cycle = 0; cycle < 200 && !done(); ++cycle) {
      ASSERT_NE(host::step_engine(test.engine, run), host::EngineStep::Ended);
      host::rest_after_cycle(test.engine);
    }
    ASSERT_TRUE(done());
  };
  step_until([&] { return run.stage == host::EngineRun::Stage::Game && script::sleep_allowance(machine) == 1; });
  EXPECT_EQ(script::rest_allowance(machine, 100), 100u);
  machine.skip.skip_all = true;
  EXPECT_EQ(script::rest_allowance(machine, 100), 1u);
  machine.skip.skip_all = false;

  schedule_click(test, test.platform.ticks_ms() + 1, platform::MouseButton::Left);
  step_until([&] {
    return machine.threads.size() == 2 &&
           std::all_of(machine.threads.begin(), machine.threads.end(), [](auto& thread) { return thread->frame().waiting; });
  });
  uint32_t sleeper_left = script::rest_allowance(machine, 100);
  EXPECT_GT(sleeper_left, 1u);
  EXPECT_LE(sleeper_left, 40u);
}

}  // namespace
}  // namespace tavelo::testing
