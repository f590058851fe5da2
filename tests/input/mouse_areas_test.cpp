// Input and mouse areas through real scripts driven by replayed input: the
// system calls' results, clicks and keys waking a waiting script, keys held
// behind the input gate, Caps Lock after an input reset, the area
// poll's enter/leave/click order, a press on an area not yet entered, navigation between keyed areas, clicks
// outside every area, a click handler removing its own area, the drag
// tracker, and the same replay giving the same log and picture twice.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/input_replay.h"
#include "resources/settings.h"
#include "tests/support/script_harness.h"
#include "tests/support/test_engine.h"

namespace tavelo::testing {
namespace {

using Lines = std::vector<std::string>;

struct InputGame {
  std::string body;
  std::string replay;
  std::string extra;
  std::string environment = "TITLEBAR InputTest\n";
  std::function<void(TestEngine&)> after;
};

ScriptRun run_with_replay(const InputGame& setup) {
  TempDirectory game;
  GameFiles files;
  files.scripts.push_back({"scenario/start.tvo", start_script(setup.body, setup.extra)});
  files.environment = setup.environment;
  write_game(game, files);
  host::ReplayParse replay = host::parse_input_replay(setup.replay, game.path());
  EXPECT_FALSE(replay.error) << replay.error->line << ": " << replay.error->reason;
  RunHooks hooks;
  hooks.before = [&](TestEngine& test) { host::load_input_replay(test.engine, replay.events); };
  hooks.after = setup.after;
  host::StartupOptions options;
  options.quit_after_ms = 5000;  // a broken poll loop ends anyway
  ScriptRun run;
  run.game = run_game(game, options, {}, hooks);
  run.lines = log_messages(run.game.log);
  return run;
}

std::string call(uint32_t key, std::vector<std::string> arguments = {}) {
  std::string code;
  for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) code += "    push_int " + *it + "\n";
  char text[64];
  std::snprintf(text, sizeof text, "    syscall 0x%08X %zu\n", key, arguments.size());
  return code + text;
}

constexpr uint32_t kPendingInput = 0x892E9B20, kMouseInUse = 0x3670B283, kSetPointer = 0xB84C9953,
                   kMovePointer = 0xD4590BD3, kGate = 0x60085FA4, kOpenGate = 0x44BC7555, kSetJoyUse = 0xF9D94E91,
                   kJoyUse = 0xB1681699, kJoyMapping = 0xCA30043A, kLock = 0xD5999D46, kReset = 0x05B1A6E8,
                   kRawKey = 0xD34E9B28, kPointerX = 0xEFD49BC9, kPointerY = 0x72DB7ABF, kButtons = 0x2075C300,
                   kAddArea = 0xF8D18340, kClickFunctions = 0xA7C6E918, kClearAreas = 0x4E1EB9D0,
                   kPollAreas = 0x3A3BFB29, kStartDrag = 0xA909A32A, kEndDrag = 0xAF6571AB, kLeftDrag = 0x163C0878,
                   kPollDrag = 0xAD0F8767, kNothing = 0x50846AD3, kShowPointer = 0xAB13BE44, kWait = 0xCF35F0E3,
                   kWaitClick = 0x008ACBC0;

TEST(InputCalls, every_call_gives_its_result) {
  // Each step leaves one value, printed on a line of its own.
  const std::pair<std::string, const char*> steps[] = {
      {call(kSetPointer, {"120", "80"}), "0"},
      {call(kPointerX), "120"},
      {call(kPointerY), "80"},
      {call(kMovePointer, {"-10000", "0"}), "0"},  // back to the real pointer
      {call(kPointerX), "0"},
      {call(kMouseInUse), "0"},  // the pointer never came over the window
      {call(kButtons), "0"},
      {call(kPendingInput), "0"},
      {call(kGate), "-1"},
      {call(kGate), "0"},
      {call(kOpenGate), "0"},
      {call(kGate), "-1"},
      {call(kOpenGate), "0"},
      {call(kJoyUse), "0"},
      {call(kSetJoyUse, {"2"}), "2"},
      {call(kJoyUse), "2"},
      {call(kJoyMapping, {"2"}), "2"},
      {call(kLock), "1"},
      {call(kLock), "0"},
      {call(kReset), "0"},
      {call(kLock), "1"},
      {call(kReset), "0"},
      {call(kRawKey, {"13"}), "0"},
      {call(kNothing), "0"},
      {call(kShowPointer, {"0"}), "1"},
      {call(kShowPointer, {"0"}), "0"},
      {call(kShowPointer, {"1"}), "0"},
      {call(kShowPointer, {"1"}), "1"},
      {call(kClickFunctions), "0"},
      {call(kClearAreas), "0"},
      {call(kPollAreas), "0"},
      {call(kStartDrag), "0"},
      {call(kPollDrag), "0"},
      {call(kEndDrag), "0"},
  };
  InputGame setup;
  Lines expected;
  for (const auto& [code, result] : steps) {
    setup.body += code + "    PRINT\n";
    expected.push_back(std::string(result) + " ");
  }
  int32_t stored = -1;
  setup.after = [&](TestEngine& test) { stored = resources::reg_read_int(test.engine.resources, "JoyUse", -1); };
  EXPECT_EQ(run_with_replay(setup).lines, expected);
  EXPECT_EQ(stored, 2);
}

TEST(InputCalls, clicks_keys_and_the_wheel_wake_a_waiting_script_with_their_bits) {
  const std::pair<const char*, const char*> cases[] = {
      {"100 click left 10 10\n", "1 "},   {"100 key Return\n", "1 "},   {"100 click right 10 10\n", "2 "},
      {"100 key Escape\n", "2 "},         {"100 click middle 10 10\n", "4 "}, {"100 wheel 1\n", "8 "},
      {"100 key PageDown\n", "16 "},
  };
  // The wait takes what woke it: the pending-input call reports nothing after it.
  for (const auto& [replay, bits] : cases) {
    InputGame setup;
    setup.body = call(kWaitClick) + "    PRINT\n" + call(kPendingInput) + "    PRINT\n";
    setup.replay = replay;
    EXPECT_EQ(run_with_replay(setup).lines, (Lines{bits, "0 "})) << replay;
  }
}

TEST(InputCalls, the_pending_input_bits_report_page_keys_and_the_wheel_once) {
  InputGame setup;
  setup.body = call(kWait, {"300"}) + call(kPendingInput) + "    PRINT\n" + call(kPendingInput) + "    PRINT\n";
  setup.replay = "100 wheel -1\n150 key PageUp\n";
  EXPECT_EQ(run_with_replay(setup).lines, (Lines{"24 ", "0 "}));
}

TEST(InputCalls, keys_and_buttons_pressed_behind_the_gate_are_held_once_it_opens) {
  // Behind the gate nothing reads as held or pressed; a key and a button still
  // down when it opens read as held, but their presses are not reported.
  InputGame setup;
  setup.body = call(kGate) + "    pop\n" + call(kWait, {"300"}) + call(kButtons) + "    PRINT\n" + call(kOpenGate) +
               "    pop\n" + call(kWait, {"50"}) + call(kButtons) + "    PRINT\n" + call(kPendingInput) + "    PRINT\n";
  setup.replay = "100 key down Return\n150 mouse down right 10 10\n200 key PageDown\n";
  EXPECT_EQ(run_with_replay(setup).lines, (Lines{"0 ", "3 ", "0 "}));
}

TEST(InputCalls, caps_lock_turns_skipping_on_again_after_an_input_reset) {
  // Every line of the start script counts as read, so the keyboard switch
  // skips; a wait ends at once while it does.
  constexpr uint32_t kSkipTest = 0xA62AA5EB;
  InputGame setup;
  setup.body = "    push_string \"START.TVO\"\n    syscall 0x7547C477 1\n    pop\n    line 5\n" + call(kWait, {"200"}) +
               call(kSkipTest) + "    PRINT\n" + call(kReset) + "    pop\n" + call(kSkipTest) + "    PRINT\n" +
               call(kWait, {"400"}) + call(kSkipTest) + "    PRINT\n";
  setup.replay = "100 key CapsLock\n400 key CapsLock\n";
  EXPECT_EQ(run_with_replay(setup).lines, (Lines{"1 ", "0 ", "1 "}));
}

// Area functions print what happened; a click ends the loop.
constexpr const char* kAreaFunctions = R"(
.function "$enter@GLOBAL" enter
.function "$leave@GLOBAL" leave
.function "$click@GLOBAL" click
.function "$outside@GLOBAL" outside
.function "$remove@GLOBAL" remove
enter:
    load local int slot:-2
    push_string "enter"
    PRINT 2
    return
leave:
    load local int slot:-2
    push_string "leave"
    PRINT 2
    return
click:
    load local int slot:-2
    push_string "click"
    PRINT 2
    push_int 1
    set_int_pop global int "@done@GLOBAL"
    return
outside:
    load local int slot:-3
    load local int slot:-2
    push_string "outside"
    PRINT 3
    push_int 1
    set_int_pop global int "@done@GLOBAL"
    return
remove:
    load local int slot:-2
    push_string "removed"
    PRINT 2
    syscall_discard 0x4E1EB9D0 0
    push_int 1
    set_int_pop global int "@done@GLOBAL"
    return
)";

// id, x, y, w, h, then the key code; the functions are enter, leave and click.
std::string area(int id, int x, int y, int w, int h, int key = 0, const char* click = "click") {
  std::vector<std::string> arguments = {std::to_string(id), std::to_string(x), std::to_string(y), std::to_string(w),
                                        std::to_string(h), "{$enter@GLOBAL}", "{$leave@GLOBAL}", std::string("{$") + click + "@GLOBAL}"};
  if (key != 0) arguments.push_back(std::to_string(key));
  return call(kAddArea, arguments) + "    pop\n";
}

constexpr const char* kPollLoop = R"(
poll:
    syscall_discard 0x3A3BFB29 0
    load global int "@done@GLOBAL"
    jump_if_true polled
    push_int 10
    syscall_discard 0xCF35F0E3 1
    jump poll
polled:
)";

TEST(MouseAreas, overlapping_areas_are_entered_left_and_clicked_in_list_order) {
  InputGame setup;
  setup.body = area(3, 0, 0, 0, 0) + area(4, 0, 0, -5, 40) + area(1, 0, 0, 100, 100) + area(2, 50, 50, 100, 100) +
               kPollLoop;
  setup.extra = kAreaFunctions;
  setup.replay =
      "100 mouse move 10 10\n200 mouse move 70 70\n300 mouse move 120 120\n400 click left 120 120\n";
  EXPECT_EQ(run_with_replay(setup).lines, (Lines{"enter 1 ", "leave 1 ", "enter 2 ", "click 2 "}));
}

TEST(MouseAreas, a_press_where_the_pointer_has_not_been_enters_the_area_under_it_and_clicks_it) {
  // A tap on a touch screen, or a replayed click, arrives without a hover:
  // on an area never entered, then on another area while the first is
  // still entered.
  InputGame setup;
  setup.body = area(1, 300, 340, 40, 40) + area(2, 100, 100, 40, 40) + kPollLoop;
  setup.extra = kAreaFunctions;
  setup.replay = "200 click left 320 358\n";
  EXPECT_EQ(run_with_replay(setup).lines, (Lines{"enter 1 ", "click 1 "}));
  setup.replay = "100 mouse move 110 110\n300 click left 320 358\n";
  EXPECT_EQ(run_with_replay(setup).lines, (Lines{"enter 2 ", "leave 2 ", "enter 1 ", "click 1 "}));
}

TEST(MouseAreas, a_click_outside_every_area_calls_the_frames_left_function) {
  InputGame setup;
  setup.body = area(1, 0, 0, 50, 50) + call(kClickFunctions, {"{$outside@GLOBAL}"}) + "    pop\n" + kPollLoop;
  setup.extra = kAreaFunctions;
  // The right button has no function: nothing happens.
  setup.replay = "100 click right 300 200\n200 click left 300 200\n";
  // The pointer starts at (0, 0), inside the area.
  EXPECT_EQ(run_with_replay(setup).lines, (Lines{"enter 1 ", "leave 1 ", "outside 300 200 "}));
}

TEST(MouseAreas, arrows_move_between_keyed_areas_and_an_area_key_clicks_the_area_under_the_pointer) {
  InputGame setup;
  setup.body = area(1, 0, 0, 50, 50, '1') + area(2, 100, 0, 50, 50, '2') + area(3, 0, 100, 50, 50, '3') +
               area(9, 300, 300, 10, 10) + kPollLoop + call(kPointerX) + call(kPointerY) + "    PRINT 2\n";
  setup.extra = kAreaFunctions;
  // The click puts the pointer back where the platform's is. The first
  // arrow only focuses the first keyed area; Down from area 2
  // finds area 3 in the second pass (no overlap across the way down).
  setup.replay = "100 key Right\n300 key Right\n500 key Down\n700 key 3\n";
  EXPECT_EQ(run_with_replay(setup).lines,
            (Lines{"enter 1 ", "leave 1 ", "enter 2 ", "leave 2 ", "enter 3 ", "click 3 ", "0 0 "}));
}

TEST(MouseAreas, a_click_function_that_removes_its_own_area_leaves_nothing_behind) {
  InputGame setup;
  setup.body = area(1, 0, 0, 100, 100, 0, "remove") + area(2, 0, 0, 100, 100) + kPollLoop + call(kPollAreas) +
               call(kPollAreas) + "    PRINT 2\n";
  setup.extra = kAreaFunctions;
  setup.replay = "100 mouse move 10 10\n200 click left 10 10\n";
  EXPECT_EQ(run_with_replay(setup).lines, (Lines{"enter 1 ", "removed 1 ", "0 0 "}));
}

constexpr const char* kDragFunctions = R"(
.function "$press@GLOBAL" press
.function "$clicked@GLOBAL" clicked
.function "$double@GLOBAL" double
.function "$start@GLOBAL" start
.function "$move@GLOBAL" move
.function "$end@GLOBAL" end
.function "$moved@GLOBAL" moved
press:
    load local int slot:-3
    load local int slot:-2
    push_string "press"
    PRINT 3
    return
clicked:
    load local int slot:-3
    load local int slot:-2
    push_string "click"
    PRINT 3
    return
double:
    load local int slot:-3
    load local int slot:-2
    push_string "double"
    PRINT 3
    return
start:
    load local int slot:-3
    load local int slot:-2
    push_string "drag start"
    PRINT 3
    return
move:
    load local int slot:-3
    load local int slot:-2
    push_string "drag move"
    PRINT 3
    return
end:
    load local int slot:-3
    load local int slot:-2
    push_string "drag end"
    PRINT 3
    return
moved:
    load local int slot:-5
    load local int slot:-4
    load local int slot:-3
    load local int slot:-2
    push_string "position"
    PRINT 5
    return
)";

TEST(DragTracker, reports_presses_clicks_after_250_ms_drags_and_positions_between_polls) {
  InputGame setup;
  // Twenty polls, 50 ms apart.
  setup.body = call(kStartDrag, {"0", "{$moved@GLOBAL}"}) + "    pop\n" +
               call(kLeftDrag, {"{$press@GLOBAL}", "{$clicked@GLOBAL}", "{$double@GLOBAL}", "{$start@GLOBAL}", "{$move@GLOBAL}", "{$end@GLOBAL}"}) + "    pop\n" +
               R"(
    push_int 20
    set_int_pop global int "@n@GLOBAL"
poll:
    syscall_discard 0xAD0F8767 0
    push_int 50
    syscall_discard 0xCF35F0E3 1
    load global int pre_dec "@n@GLOBAL"
    jump_if_true poll
)";
  setup.extra = kDragFunctions;
  // A short click at 100 (reported once the double-click time is over),
  // then a press at 500 dragged to (60, 20) and released there.
  setup.replay =
      "100 click left 10 10\n500 mouse down left 20 20\n600 mouse move 40 20\n700 mouse move 60 20\n"
      "800 mouse up left 60 20\n";
  Lines lines = run_with_replay(setup).lines;
  // Within a poll the button's calls come before the position's; the
  // release at an unchanged position reports no position.
  Lines expected = {"position 0 0 0 0 ", "press 10 10 ",      "position 10 10 1 0 ", "click 10 10 ",
                    "press 20 20 ",      "position 20 20 1 0 ", "drag start 20 20 ", "position 40 20 1 0 ",
                    "drag move 60 20 ",  "position 60 20 1 0 ", "drag end 60 20 "};
  EXPECT_EQ(lines, expected);
}

TEST(InputReplay, the_same_replay_gives_the_same_log_and_picture_twice) {
  std::vector<std::vector<uint8_t>> logs;
  std::vector<std::vector<uint8_t>> pictures;
  for (int run = 0; run < 2; ++run) {
    TempDirectory game;
    GameFiles files;
    files.scripts.push_back({"scenario/start.tvo",
                             start_script(area(1, 0, 0, 100, 100) + area(2, 100, 0, 100, 100) + kPollLoop,
                                          kAreaFunctions)});
    write_game(game, files);
    game.write("input.txt", "100 mouse move 10 10\n200 mouse move 150 10\n300 screenshot " + game.at("shot.png") +
                                "\n400 click left 150 10\n");
    ProcessResult result = run_tavelo(game, "--quit-after 3000 --input '" + game.at("input.txt") + "'");
    EXPECT_EQ(result.exit_status, 0) << result.output;
    logs.push_back(read_bytes(game.at("debugout.log")));
    pictures.push_back(read_bytes(game.at("shot.png")));
  }
  EXPECT_FALSE(logs[0].empty());
  EXPECT_FALSE(pictures[0].empty());
  EXPECT_EQ(logs[0], logs[1]);
  EXPECT_EQ(pictures[0], pictures[1]);
}

}  // namespace
}  // namespace tavelo::testing
