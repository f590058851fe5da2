// Skip modes and their system calls through real scripts: every call's
// result, the FastModeFlg_AR and menu-permission variants, suspension, the
// keyboard skip switch and clicks during skipping.

#include <gtest/gtest.h>

#include <utility>

#include "host/engine.h"
#include "input/state.h"
#include "tests/support/host_input.h"
#include "resources/settings.h"
#include "tests/support/script_harness.h"

namespace tavelo::testing {
namespace {

using Lines = std::vector<std::string>;

// Each step leaves one value on the stack; the test prints it and expects
// the given text.
struct Step {
  std::string code;
  std::string expected;
};

std::string call(uint32_t key, std::string arguments = "") {
  char text[64];
  int count = 0;
  for (char c : arguments) count += c == '\n';
  std::snprintf(text, sizeof text, "    syscall 0x%08X %d\n", key, count);
  return arguments + text;
}

ScriptRun run_steps(const std::vector<Step>& steps, const RunHooks& hooks = {}, Lines* expected = nullptr) {
  std::string body;
  for (const Step& step : steps) {
    body += step.code + "    PRINT\n";
    if (expected) expected->push_back(step.expected + " ");
  }
  return run_script(body, "", {}, hooks);
}

constexpr uint32_t kModeOff = 0x818A4B92, kMode1 = 0x9EF1DDC3, kReadSkip = 0x86F0F608, kAuto = 0xFAC4F361,
                   kSkipAll = 0x4B306C5C, kFastForward = 0xC102BCC3, kEndFastForward = 0xF3D276F1,
                   kSetFlags = 0xBC42CA9A, kFlags = 0x3C84073C, kLineRead = 0xF6416E87, kAutoFlag = 0xC21F8B49,
                   kIsFastForward = 0x38721A26, kSkipTest = 0xA62AA5EB, kSuspend = 0x81CE0485,
                   kResume = 0x8C7F4C1E, kAutoPermit = 0x0EBC053B, kReadOnlyMode = 0x3EABF498,
                   kAlwaysRead = 0x7547C477, kHasMarks = 0xDD2056F6, kPermitFast = 0x8FE5D6E7,
                   kTakeFast = 0x45ACD4A7, kPermitSecond = 0xC68C011A, kTakeSecond = 0x86E933D1;

TEST(Skip, every_call_gives_its_result) {
  std::vector<Step> steps = {
      {call(kSkipAll), "0"},
      {call(kFlags), "1"},
      {call(kSkipTest), "1"},
      {call(kReadSkip), "0"},
      {call(kFlags), "3"},  // read-skip leaves skip-all alone
      {call(kAuto), "0"},
      {call(kFlags), "4"},
      {call(kAutoFlag), "1"},
      {call(kSkipTest), "0"},  // automatic advance needs the permission
      {call(kAutoPermit, "    push_int 1\n"), "0"},
      {call(kSkipTest), "1"},
      {call(kModeOff), "0"},
      {call(kFlags), "0"},
      {call(kSetFlags, "    push_int 6\n"), "0"},
      {call(kFlags), "6"},
      {call(kMode1), "0"},
      {call(kFlags), "1"},  // FastModeFlg_AR 0: skip all
      {call(kReadOnlyMode, "    push_int 1\n"), "0"},
      {call(kMode1), "0"},
      {call(kFlags), "2"},  // FastModeFlg_AR 1: read-skip
      {call(kLineRead), "0"},
      // Fast-forward needs the menu permission.
      {call(kFastForward), "0"},
      {call(kIsFastForward), "0"},
      {call(kPermitFast), "0"},
      {call(kFastForward), "0"},
      {call(kIsFastForward), "1"},
      {call(kFlags), "1"},
      {call(kEndFastForward), "1"},
      {call(kIsFastForward), "0"},
      {call(kFlags), "0"},
      {call(kEndFastForward), "0"},
      {call(kTakeFast), "1"},
      {call(kTakeFast), "0"},
      {call(kPermitSecond), "0"},
      {call(kTakeSecond), "1"},
      {call(kTakeSecond), "0"},
      {call(kAlwaysRead, "    push_string \"start\"\n"), "0"},
      {call(kHasMarks, "    push_string \"scenario\\\\Start.txt\"\n"), "1"},
      {call(kHasMarks, "    push_string \"nothing\"\n"), "0"},
  };
  int32_t stored = -1;
  uint8_t suppress_mask = 0;
  RunHooks hooks;
  hooks.after = [&](TestEngine& test) {
    stored = resources::reg_read_int(test.engine.resources, "FastModeFlg_AR", -1);
    suppress_mask = test.engine.input.clicks.suppress_mask;
  };
  Lines expected;
  ScriptRun run = run_steps(steps, hooks, &expected);
  EXPECT_EQ(run.lines, expected);
  EXPECT_EQ(stored, 1);
  EXPECT_EQ(suppress_mask, 4);  // fast-forward arms the middle-button suppression
}

TEST(Skip, suspension_stops_every_mode_and_resuming_clears_it_at_once) {
  std::vector<Step> steps = {
      {call(kSkipAll), "0"},
      {call(kSuspend), "1"},
      {call(kSkipTest), "0"},
      {call(kSuspend), "0"},
      {call(kResume), "0"},
      {call(kSkipTest), "1"},
      {call(kSuspend), "1"},
  };
  Lines expected;
  EXPECT_EQ(run_steps(steps, {}, &expected).lines, expected);
}

TEST(Skip, ctrl_held_hides_the_flags) {
  RunHooks hooks;
  hooks.before = [](TestEngine& test) { press_key(test, 0x11); };
  std::vector<Step> steps = {{call(kSkipAll), "0"}, {call(kFlags), "0"}, {call(kSkipTest), "1"}};
  Lines expected;
  EXPECT_EQ(run_steps(steps, hooks, &expected).lines, expected);
}

TEST(Skip, caps_lock_skips_read_lines_until_the_right_button_is_held) {
  // The always-read list makes every line of the start script read.
  std::string read_lines = call(kAlwaysRead, "    push_string \"START.TVO\"\n") + "    pop\n    line 5\n";
  struct Case {
    const char* what;
    bool right_held;
    bool always_read;
    std::string skipping;
    bool caps_after;
  };
  std::vector<Case> cases = {
      {"read line", false, true, "1 ", true},
      {"unread line", false, false, "0 ", true},
      {"right button held", true, true, "0 ", false},
  };
  for (const Case& c : cases) {
    bool caps_after = !c.caps_after;
    RunHooks hooks;
    hooks.before = [&](TestEngine& test) {
      press_key(test, 0x14);  // Caps Lock
      if (c.right_held) {
        platform::Event press;
        press.type = platform::EventType::MouseDown;
        press.button = platform::MouseButton::Right;
        test.platform.inject_event(press);
      }
    };
    hooks.after = [&](TestEngine& test) { caps_after = test.engine.input.keyboard_skip; };
    std::string body = (c.always_read ? read_lines : "    line 5\n") + call(kSkipTest) + "    PRINT\n";
    ScriptRun run = run_script(body, "", {}, hooks);
    EXPECT_EQ(run.lines, (Lines{c.skipping})) << c.what;
    EXPECT_EQ(caps_after, c.caps_after) << c.what;
  }
}

TEST(Skip, suspending_turns_the_keyboard_switch_off) {
  bool caps_after = true;
  RunHooks hooks;
  hooks.before = [](TestEngine& test) { press_key(test, 0x14); };  // Caps Lock
  hooks.after = [&](TestEngine& test) { caps_after = test.engine.input.keyboard_skip; };
  run_script(call(kSuspend) + "    pop\n", "", {}, hooks);
  EXPECT_FALSE(caps_after);
}

TEST(Skip, a_click_stops_read_skip_but_not_fast_forward) {
  // Skipping is suspended during the wait so that the wait lasts until the
  // click has arrived; the click changes the modes all the same.
  auto body = [](std::string start) {
    return start + call(kSuspend) + "    pop\n    push_int 200\n    syscall_discard 0xCF35F0E3 1\n" +
           call(kResume) + "    pop\n" + call(kFlags) + "    PRINT\n" + call(kIsFastForward) + "    PRINT\n";
  };
  RunHooks hooks;
  hooks.before = [](TestEngine& test) {
    schedule_click(test, test.platform.ticks_ms() + 100, platform::MouseButton::Left);
  };
  EXPECT_EQ(run_script(body(call(kReadSkip) + "    pop\n"), "", {}, hooks).lines, (Lines{"0 ", "0 "}));
  std::string fast = call(kPermitFast) + "    pop\n" + call(kFastForward) + "    pop\n";
  EXPECT_EQ(run_script(body(fast), "", {}, hooks).lines, (Lines{"1 ", "1 "}));
}

TEST(Skip, a_restart_clears_the_modes_and_the_always_read_list) {
  // The first run of the start script sets everything and restarts; the
  // second finds it all cleared.
  ScriptRun run = run_script(R"(
    load eternal int "#runs"
    jump_if_false first
    syscall 0x3C84073C 0
    syscall 0x38721A26 0
    syscall 0xA62AA5EB 0
    PRINT 3
    END
first:
    push_int 1
    set_int_pop eternal int "#runs"
    push_string "START.TVO"
    syscall_discard 0x7547C477 1
    push_int 7
    syscall_discard 0xBC42CA9A 1
    syscall_discard 0x81CE0485 0
    syscall_discard 0x8FE5D6E7 0
    syscall_discard 0xC102BCC3 0
    syscall_discard 0x3704C919 0       ; end all threads: the start script runs again
    push_int -1
    syscall_discard 0xCF35F0E3 1
  )");
  EXPECT_EQ(run.lines, (Lines{"0 0 0 "}));
}

}  // namespace
}  // namespace tavelo::testing
