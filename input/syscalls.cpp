// Input system calls: the input slots, the pointer, the gate and lock, the
// game controller, mouse areas and the drag tracker.

#include "input/syscalls.h"

#include <array>

#include "graphics/screen.h"
#include "graphics/state.h"
#include "host/engine_parts.h"
#include "input/input.h"
#include "input/mouse_areas.h"
#include "input/state.h"
#include "platform/platform.h"
#include "resources/multibyte.h"
#include "resources/settings.h"
#include "resources/state.h"
#include "script/error_report.h"
#include "script/loader.h"
#include "script/machine.h"
#include "script/read_marks.h"
#include "script/scheduler.h"
#include "script/state.h"
#include "script/thread.h"
#include "script/waits.h"

namespace tavelo::input {
namespace {

using script::CallArgs;
using script::CallStatus;
using script::SyscallEntry;
using script::SyscallFlags;

// Dropped file names, in bytes.
constexpr size_t kDroppedNameLimit = 259;
constexpr SyscallFlags kNone = SyscallFlags::None;
constexpr SyscallFlags kControl = SyscallFlags::Control;

State& input_state(host::Engine& engine) { return host::input_of(engine); }

// ---- slots, pointer, gate, lock and controller

CallStatus sys_wait_release(host::Engine& engine, CallArgs& args) {
  const Clicks& clicks = host::input_of(engine).clicks;
  args.thread.frame().waiting = true;
  if (clicks.left_held || clicks.right_held || clicks.middle_held || clicks.erase_held) return script::poll_again(args);
  args.thread.pending_left = args.thread.pending_right = args.thread.pending_middle = false;
  return script::finish_wait(args, 0);
}

CallStatus sys_suppress_repeated_clicks(host::Engine& engine, CallArgs& args) {
  // Without arguments the left button; with arguments the mask is argument 2.
  suppress_clicks(host::input_of(engine), args.count == 0 ? 1 : args.int_at(2));
  return args.done(0);
}

CallStatus sys_accept_dropped_files(host::Engine& engine, CallArgs& args) {
  bool accept = args.int_at(1) != 0;
  input_state(engine).accept_dropped_files = accept;
  if (accept) input_state(engine).dropped_file.clear();
  return args.done(0);
}

CallStatus sys_dropped_file(host::Engine& engine, CallArgs& args) {
  return args.done_text(
      resources::cut_game_text(args.machine.resources.lead_bytes, input_state(engine).dropped_file, kDroppedNameLimit));
}

// The pending-input bits: 1, 2, 4 the thread's pending clicks (left as they
// are), 8, 16, 32 presses of slots 33, 34 and 147, taken with the consuming
// read so that each press is reported once.
int32_t take_pending_input(State& state, const script::Thread& thread) {
  int32_t bits = (thread.pending_left ? 1 : 0) | (thread.pending_right ? 2 : 0) | (thread.pending_middle ? 4 : 0);
  if (key_pressed(state, kSlotPageUp)) bits |= 8;
  if (key_pressed(state, kSlotPageDown)) bits |= 16;
  if (key_pressed(state, kSlotErase)) bits |= 32;
  return bits;
}

CallStatus sys_pending_input(host::Engine& engine, CallArgs& args) {
  return args.done(take_pending_input(input_state(engine), args.thread));
}

// Waits for a click or a press of slot 33, 34 or 147 (Page Up, Page Down,
// erase; the wheel presses the first two) and gives the pending-input bits:
// the presses it reports are taken, so the pending-input call does not
// report them again. Presses from before the wait do not count.
CallStatus sys_wait_click(host::Engine& engine, CallArgs& args) {
  State& state = input_state(engine);
  script::Thread& thread = args.thread;
  script::Frame& frame = thread.frame();
  if (!frame.waiting) {
    frame.waiting = true;
    for (int32_t slot : {kSlotPageUp, kSlotPageDown, kSlotErase}) consume_presses(state, slot);
  }
  int32_t bits = take_pending_input(state, thread);
  if (bits == 0) return script::poll_for_input(args);
  thread.pending_left = thread.pending_right = thread.pending_middle = false;
  return script::finish_wait(args, bits);
}

CallStatus sys_mouse_in_use(host::Engine& engine, CallArgs& args) {
  const State& state = input_state(engine);
  return args.done(state.frame_mouse_mode && state.pointer_inside ? 1 : 0);
}

CallStatus sys_set_pointer(host::Engine& engine, CallArgs& args) {
  set_pointer(input_state(engine), args.int_at(1), args.int_at(2));
  return args.done(0);
}

CallStatus sys_move_pointer(host::Engine& engine, CallArgs& args) {
  State& state = input_state(engine);
  set_pointer(state, args.int_at(1), args.int_at(2));
  graphics::Point window = graphics::screen_to_window(host::graphics_of(engine).screen, {state.pointer.x, state.pointer.y});
  host::platform_of(engine).warp_pointer(window.x, window.y);
  return args.done(0);
}

CallStatus sys_gate_input(host::Engine& engine, CallArgs& args) {
  State& state = input_state(engine);
  bool was_closed = !input_passes_gate(state);
  state.gated = true;
  host::refresh_window_menu(engine);
  return args.done(was_closed ? 0 : -1);
}

CallStatus sys_open_input_gate(host::Engine& engine, CallArgs& args) {
  input_state(engine).gated = false;
  host::refresh_window_menu(engine);
  return args.done(0);
}

CallStatus sys_set_joystick_use(host::Engine& engine, CallArgs& args) {
  State& state = input_state(engine);
  int32_t mode = args.int_at(1);
  state.pad.use = mode;
  if (mode == 0) release_pad_keys(state, args.machine);
  (void)resources::write_user_setting(args.machine.resources, resources::UserSetting::JoyUse, mode);
  return args.done(mode);
}

CallStatus sys_joystick_use(host::Engine&, CallArgs& args) {
  return args.done(resources::read_user_setting(args.machine.resources, resources::UserSetting::JoyUse));
}

CallStatus sys_joystick_mapping(host::Engine& engine, CallArgs& args) {
  State& state = input_state(engine);
  int32_t mode = args.int_at(1);
  release_pad_keys(state, args.machine);
  state.pad.mapping_mode = mode;
  return args.done(mode);
}

CallStatus sys_lock_input(host::Engine& engine, CallArgs& args) {
  State& state = input_state(engine);
  bool was_unlocked = !state.locked;
  state.locked = true;
  return args.done(was_unlocked ? 1 : 0);
}

CallStatus sys_reset_input(host::Engine& engine, CallArgs& args) {
  reset_input(input_state(engine), args.machine);
  return args.done(0);
}

CallStatus sys_raw_key_state(host::Engine& engine, CallArgs& args) {
  int32_t key = std::min(std::max(args.int_at(1), 0), 127);
  return args.done(input_state(engine).raw_keys[size_t(key)] != 0 ? 1 : 0);
}

// ---- mouse areas

// Finishes a control call: with the script function the poll chose called
// above the polling frame (its result becomes the call's), or with 0.
CallStatus finish_with_call(CallArgs& args, const ScriptCall& call) {
  script::Machine& machine = args.machine;
  script::Thread& thread = args.thread;
  if (!call.wanted) {
    script::finish_control_call(machine, args.first, !args.keep_result);
    return CallStatus::Done;
  }
  const uint8_t* position = script::find_function(machine, call.function, thread.frame().code);
  if (!position) {
    // Reported once; the poll goes on as if the function had returned 0.
    script::report_script_error(machine, "関数 [%08X] がメモリ上に発見できませんでした。", {call.function});
    script::finish_control_call(machine, args.first, !args.keep_result);
    return CallStatus::Done;
  }
  for (int i = call.count - 1; i >= 0; --i) script::push_value(thread, script::make_int(call.arguments[size_t(i)]));
  script::call_position(machine, thread, script::code_block_at(machine, position), position, call.count,
                        !args.keep_result);
  return CallStatus::Done;
}

CallStatus sys_pointer_x(host::Engine& engine, CallArgs& args) { return args.done(input_state(engine).pointer.x); }
CallStatus sys_pointer_y(host::Engine& engine, CallArgs& args) { return args.done(input_state(engine).pointer.y); }

CallStatus sys_buttons_held(host::Engine& engine, CallArgs& args) {
  const State& state = input_state(engine);
  int32_t bits = (key_down(state, kSlotDecide) ? 1 : 0) | (key_down(state, kSlotCancel) ? 2 : 0) |
                 (key_down(state, kSlotSkip) ? 4 : 0) | (key_down(state, kSlotPageUp) ? 8 : 0) |
                 (key_down(state, kSlotPageDown) ? 16 : 0);
  return args.done(bits);
}

CallStatus sys_add_mouse_area(host::Engine&, CallArgs& args) {
  script::MouseArea area;
  area.id = args.int_at(1);
  area.x = args.int_at(2);
  area.y = args.int_at(3);
  area.width = args.int_at(4);
  area.height = args.int_at(5);
  area.enter = uint32_t(args.int_at(6));
  area.leave = uint32_t(args.int_at(7));
  area.click = uint32_t(args.int_at(8));
  area.key_code = args.int_at(9);
  area.depth = args.thread.depth;
  args.thread.mouse_areas.push_back(area);
  return args.done(0);
}

CallStatus sys_set_click_functions(host::Engine&, CallArgs& args) {
  int32_t* words = args.thread.frame().mouse_words;
  for (int i = 0; i < 4; ++i) words[i] = args.int_at(i + 1);
  return args.done(0);
}

CallStatus sys_clear_mouse_areas(host::Engine& engine, CallArgs& args) {
  State& state = input_state(engine);
  script::Thread& thread = args.thread;
  thread.mouse_areas.clear();
  int32_t* words = thread.frame().mouse_words;
  for (FrameWord word : {kWordLeft, kWordRight, kWordMiddle, kWordFocused, kWordRemembered}) words[word] = 0;
  script::set_skip_mode(args.machine, 0);
  consume_presses(state, kSlotPageUp);
  consume_presses(state, kSlotPageDown);
  state.last_key = 0;
  if (state.caps_lock_owner < 0) state.caps_lock_owner = thread.id;
  state.mouse_mode = state.frame_mouse_mode = true;
  return args.done(0);
}

CallStatus sys_poll_mouse_areas(host::Engine& engine, CallArgs& args) {
  script::release_stack_above(args.thread, args.first);
  return finish_with_call(args, poll_mouse_areas(input_state(engine), args.thread));
}

// ---- drag tracker

int32_t drag_window_handler(host::Engine& engine, const platform::Event& event) {
  if (event.type != platform::EventType::MouseDown && event.type != platform::EventType::MouseUp) return 0;
  if (event.button == platform::MouseButton::Middle) return 0;
  State& state = input_state(engine);
  graphics::Point point = graphics::window_to_screen(host::graphics_of(engine).screen, {event.x, event.y});
  DragSide side = event.button == platform::MouseButton::Left ? DragSide::Left : DragSide::Right;
  DragMessage message = event.type == platform::EventType::MouseUp ? DragMessage::Up
                        : event.clicks >= 2                        ? DragMessage::DoubleClick
                                                                   : DragMessage::Down;
  track_drag_message(state, side, message, point.x, point.y, script::script_time(host::machine_of(engine)));
  // The pointer stays on the window while a button is held.
  host::platform_of(engine).confine_pointer(message != DragMessage::Up && !state.drag.now.both_buttons);
  if (state.pointer_hidden) host::platform_of(engine).set_pointer_visible(false);
  return 0;
}

CallStatus sys_start_drag_tracking(host::Engine& engine, CallArgs& args) {
  start_drag_tracking(input_state(engine), uint32_t(args.int_at(1)), uint32_t(args.int_at(2)),
                      uint32_t(args.int_at(3)));
  (void)host::add_window_handler(engine, drag_window_handler);
  return args.done(0);
}

CallStatus sys_end_drag_tracking(host::Engine& engine, CallArgs& args) {
  input_state(engine).drag.active = false;
  host::drop_window_handler(engine, drag_window_handler);
  host::platform_of(engine).confine_pointer(false);
  return args.done(0);
}

template <DragSide Side>
CallStatus sys_set_drag_functions(host::Engine& engine, CallArgs& args) {
  DragTracker& drag = input_state(engine).drag;
  std::array<uint32_t, kDragFunctionCount>& functions =
      Side == DragSide::Left ? drag.left_functions : drag.right_functions;
  for (int i = 0; i < kDragFunctionCount; ++i) functions[size_t(i)] = uint32_t(args.int_at(i + 1));
  return args.done(0);
}

CallStatus sys_poll_drag(host::Engine& engine, CallArgs& args) {
  script::release_stack_above(args.thread, args.first);
  return finish_with_call(args, poll_drag(input_state(engine), script::script_time(args.machine)));
}

CallStatus sys_nothing(host::Engine&, CallArgs& args) { return args.done(0); }

CallStatus sys_show_pointer(host::Engine& engine, CallArgs& args) {
  State& state = input_state(engine);
  bool was_shown = !state.pointer_hidden;
  bool show = args.int_at(1) != 0;
  if (show != was_shown) {
    state.pointer_hidden = !show;
    host::platform_of(engine).set_pointer_visible(show);
  }
  return args.done(was_shown ? 1 : 0);
}

constexpr std::array kInputSyscalls = {
    SyscallEntry{0x1204D7E8, "wait_release", sys_wait_release, kNone,
                 "-> int 0; waits until no mouse button and no erase key is held"},
    SyscallEntry{0xB7E3E81C, "click_repeat_suppress", sys_suppress_repeated_clicks, kNone,
                 "[any unused, int mask] -> int 0; for three presses of the buttons in mask (1 left, "
                 "2 right, 4 middle; 1 without arguments), one within 350 ms of the last is ignored"},
    SyscallEntry{0x42D7C922, "file_drop_accept", sys_accept_dropped_files, kNone,
                 "int flag -> int 0; lets files be dropped on the window"},
    SyscallEntry{0xC32E286F, "dropped_file", sys_dropped_file, kNone, "-> str the name of the file dropped last"},
    SyscallEntry{0x892E9B20, "input_pending", sys_pending_input, kNone,
                 "-> int bits: 1 left, 2 right, 4 middle click, 8 Page Up, "
                 "16 Page Down, 32 erase; each key press is reported once"},
    SyscallEntry{0x008ACBC0, "wait_click", sys_wait_click, kNone,
                 "-> int bits: 1 left, 2 right, 4 middle click, 8 Page "
                 "Up, 16 Page Down, 32 erase; waits for one of them"},
    SyscallEntry{0x3670B283, "is_mouse_mode", sys_mouse_in_use, kNone,
                 "-> int 1 while the player uses the mouse and the pointer is on the game screen"},
    SyscallEntry{0xB84C9953, "pointer_set", sys_set_pointer, kNone,
                 "int x, int y -> int 0; the engine's pointer position; x = -10000 takes the real pointer's"},
    SyscallEntry{0xD4590BD3, "pointer_move", sys_move_pointer, kNone,
                 "int x, int y -> int 0; the same, and moves the real pointer there"},
    SyscallEntry{0x60085FA4, "input_gate_close", sys_gate_input, kNone,
                 "-> int 0 when input was gated before, else -1; keys and buttons are ignored until input_gate_open"},
    SyscallEntry{0x44BC7555, "input_gate_open", sys_open_input_gate, kNone, "-> int 0"},
    SyscallEntry{0xF9D94E91, "joystick_use_set", sys_set_joystick_use, kNone,
                 "int mode -> int mode; 0 off; stored as JoyUse"},
    SyscallEntry{0xB1681699, "joystick_use", sys_joystick_use, kNone, "-> int JoyUse"},
    SyscallEntry{0xCA30043A, "joystick_mapping_set", sys_joystick_mapping, kNone,
                 "int mode -> int mode; 1 arrows, Esc and Enter; 2 numeric keys"},
    SyscallEntry{0xD5999D46, "input_lock", sys_lock_input, kNone,
                 "-> int 1 when input was not locked before; keys change nothing until input_reset"},
    SyscallEntry{0x05B1A6E8, "input_reset", sys_reset_input, kNone, "-> int 0; clears the input state and the lock"},
    SyscallEntry{0xD34E9B28, "raw_key_state", sys_raw_key_state, kNone,
                 "int key -> int 1 while the virtual key 0-127 is down"},
    SyscallEntry{0xEFD49BC9, "pointer_x", sys_pointer_x, kNone, "-> int the pointer x on the game screen"},
    SyscallEntry{0x72DB7ABF, "pointer_y", sys_pointer_y, kNone, "-> int the pointer y on the game screen"},
    SyscallEntry{0x2075C300, "buttons_held", sys_buttons_held, kNone,
                 "-> int bits: 1 decide, 2 cancel, 4 skip, 8 Page Up, 16 Page Down"},
    SyscallEntry{0xF8D18340, "mouse_area_add", sys_add_mouse_area, kNone,
                 "int id, int x, int y, int width, int height, func enter, func leave, func "
                 "click [, int key_code = 0] -> int 0; the functions get id, x, y, width, height"},
    SyscallEntry{0xA7C6E918, "mouse_click_functions_set", sys_set_click_functions, kNone,
                 "func left [, func right [, func middle [, func input]]] "
                 "-> int 0; for the current call; missing ones are cleared"},
    SyscallEntry{0x4E1EB9D0, "mouse_area_clear", sys_clear_mouse_areas, kNone,
                 "-> int 0; drops the thread's areas and the click functions"},
    SyscallEntry{0x3A3BFB29, "mouse_area_poll", sys_poll_mouse_areas, kControl,
                 "-> any 0, or what the one area or click function it calls returns"},
    SyscallEntry{0xA909A32A, "drag_track_start", sys_start_drag_tracking, kNone,
                 "[func per_poll [, func position_change [, func wheel]]] -> int 0"},
    SyscallEntry{0xAF6571AB, "drag_track_end", sys_end_drag_tracking, kNone, "-> int 0"},
    SyscallEntry{0x163C0878, "drag_left_functions_set", sys_set_drag_functions<DragSide::Left>, kNone,
                 "[func press [, func click [, func double_click [, func drag_start [, func drag_move "
                 "[, func drag_end [, func drag_cancel]]]]]]] -> int 0; missing ones are cleared"},
    SyscallEntry{0xD215E29A, "drag_right_functions_set", sys_set_drag_functions<DragSide::Right>, kNone,
                 "[func press [, func click [, func double_click [, func drag_start [, func drag_move "
                 "[, func drag_end [, func drag_cancel]]]]]]] -> int 0; missing ones are cleared"},
    SyscallEntry{0xAD0F8767, "drag_poll", sys_poll_drag, kControl, "-> any 0, or what the function it calls returns"},
    SyscallEntry{0x50846AD3, "do_nothing", sys_nothing, kNone, "-> int 0"},
    SyscallEntry{0xAB13BE44, "pointer_show", sys_show_pointer, kNone,
                 "int show -> int 1 when the pointer was shown before; 0 hides it"},
};

}  // namespace

std::span<const SyscallEntry> syscalls() { return kInputSyscalls; }

}  // namespace tavelo::input
