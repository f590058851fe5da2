// The input slots fed with platform events directly: the key map's logical
// slots for every mapped key, mouse mode, click suppression, the gate, the
// consuming query, the wheel, the controller's two mapping modes,
// the lock and events that name no slot.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/input.h"
#include "input/state.h"
#include "platform/key_map.h"
#include "tests/support/test_engine.h"

namespace tavelo::testing {
namespace {

using platform::Event;
using platform::EventType;

struct Input {
  TempDirectory directory;
  TestEngine test{directory.path()};
  input::State& state = test.engine.input;
  script::Machine& machine = test.engine.script;

  void send(EventType type, int32_t key = 0) {
    Event event;
    event.type = type;
    event.key = key;
    input::handle_event(state, machine, event, {10, 10, true});
  }
  void key(std::string_view name, EventType type) { send(type, *platform::virtual_key_of_name(name)); }
  void mouse(EventType type, int32_t x, int32_t y, bool inside = true,
             platform::MouseButton button = platform::MouseButton::Left) {
    Event event;
    event.type = type;
    event.button = button;
    input::handle_event(state, machine, event, {x, y, inside});
  }
  void pad(EventType type, platform::PadButton button) {
    Event event;
    event.type = type;
    event.pad_button = button;
    input::handle_event(state, machine, event);
  }
  // The logical slots down after a freeze, as letters: d c u D r l s e.
  std::string logical() {
    input::freeze_input(state);
    std::string down;
    const std::pair<int32_t, char> slots[] = {{130, 'd'}, {131, 'c'}, {132, 'u'}, {133, 'D'},
                                              {134, 'r'}, {135, 'l'}, {136, 's'}, {147, 'e'}};
    for (auto [slot, letter] : slots) {
      if (input::key_down(state, slot)) down += letter;
    }
    return down;
  }
  void advance(uint32_t ms) { test.platform.sleep_ms(ms); }
};

TEST(InputSlots, every_mapped_key_sets_its_own_slot_and_its_logical_slots_until_released) {
  struct Case {
    const char* name;
    const char* logical;
  };
  const Case cases[] = {
      {"Return", "d"},   {"Space", "d"},     {"X", "d"},       {"Escape", "c"},    {"End", "c"},
      {"Insert", "c"},   {"Delete", "c"},    {"Z", "c"},       {"Keypad 0", "c"},  {"Up", "u"},
      {"Keypad 8", "u"}, {"Down", "D"},      {"Keypad 2", "D"}, {"Right", "r"},    {"Keypad 6", "r"},
      {"Left", "l"},     {"Keypad 4", "l"},  {"Left Shift", "s"}, {"Right Ctrl", "s"}, {"CapsLock", "s"},
      {"Tab", ""},       {"PageUp", ""},     {"A", ""},        {"8", ""},          {"Keypad 5", ""},
  };
  for (const Case& c : cases) {
    Input input;
    int32_t key = *platform::virtual_key_of_name(c.name);
    input.key(c.name, EventType::KeyDown);
    EXPECT_EQ(input.logical(), c.logical) << c.name;
    EXPECT_TRUE(input::key_down(input.state, key)) << c.name;
    input.key(c.name, EventType::KeyUp);
    EXPECT_EQ(input.logical(), "") << c.name;
    EXPECT_FALSE(input::key_down(input.state, key)) << c.name;
  }
  // Keys the map leaves out set nothing at all.
  Input input;
  input.key("9", EventType::KeyDown);
  input.key("F5", EventType::KeyDown);
  input.logical();
  EXPECT_FALSE(input::key_down(input.state, '9'));
  EXPECT_FALSE(input::key_down(input.state, 0x74));
}

TEST(InputSlots, space_erases_instead_of_deciding_with_erase_on_space) {
  Input input;
  input.state.erase_on_space = true;
  input.key("Space", EventType::KeyDown);
  EXPECT_EQ(input.logical(), "e");
}

TEST(InputSlots, mouse_mode_ends_with_keys_other_than_shift_ctrl_space_and_function_keys) {
  Input input;
  input.mouse(EventType::MouseMove, 5, 5);
  EXPECT_TRUE(input.state.mouse_mode);
  for (const char* name : {"Space", "Left Shift", "Left Ctrl", "F1", "F12"}) {
    input.key(name, EventType::KeyDown);
    EXPECT_TRUE(input.state.mouse_mode) << name;
  }
  input.key("Up", EventType::KeyDown);
  EXPECT_FALSE(input.state.mouse_mode);
  input.mouse(EventType::MouseMove, 5, 5);  // no movement
  EXPECT_FALSE(input.state.mouse_mode);
  input.mouse(EventType::MouseMove, 6, 5);
  EXPECT_TRUE(input.state.mouse_mode);
}

TEST(InputSlots, buttons_outside_the_game_area_read_as_released) {
  Input input;
  input.mouse(EventType::MouseDown, 5, 5);
  EXPECT_EQ(input.logical(), "d");
  input.mouse(EventType::MouseMove, -1, 5, false);
  EXPECT_EQ(input.logical(), "");
  input.mouse(EventType::MouseDown, -1, 5, false, platform::MouseButton::Right);
  EXPECT_EQ(input.logical(), "");
  EXPECT_EQ(input.state.pointer.x, 5);  // outside the pointer stays where it was
}

TEST(InputSlots, suppression_swallows_clicks_within_350_ms_three_times_at_most) {
  Input input;
  auto click = [&] {
    uint32_t before = input.state.live.presses[130];
    input.mouse(EventType::MouseDown, 5, 5);
    input.mouse(EventType::MouseUp, 5, 5);
    return input.state.live.presses[130] != before;
  };
  EXPECT_TRUE(click());
  input::suppress_clicks(input.state, 1);
  input.advance(200);
  EXPECT_FALSE(click());
  input.advance(400);
  EXPECT_TRUE(click());  // outside 350 ms: accepted, the suppression ends
  EXPECT_TRUE(click());
  input::suppress_clicks(input.state, 1);
  std::vector<bool> accepted;
  for (int i = 0; i < 4; ++i) {
    input.advance(100);
    accepted.push_back(click());
  }
  EXPECT_EQ(accepted, (std::vector<bool>{false, false, false, true}));
  // Only the masked slots are suppressed.
  input::suppress_clicks(input.state, 2);
  input.advance(100);
  EXPECT_TRUE(click());
}

TEST(InputSlots, the_gate_hides_keys_unless_a_menu_request_is_current) {
  Input input;
  input.state.gated = true;
  input.key("Return", EventType::KeyDown);
  EXPECT_EQ(input.logical(), "");
  EXPECT_FALSE(input::key_pressed(input.state, 13));
  input.key("Return", EventType::KeyUp);
  input.state.menu_request_current = true;  // the window took a request up
  input.key("Escape", EventType::KeyDown);
  EXPECT_EQ(input.logical(), "c");
}

TEST(InputSlots, a_press_is_reported_once_by_the_consuming_query) {
  Input input;
  input.key("PageDown", EventType::KeyDown);
  input.key("PageDown", EventType::KeyUp);
  input.logical();
  EXPECT_TRUE(input::key_pressed(input.state, 34));
  EXPECT_FALSE(input::key_pressed(input.state, 34));
  EXPECT_FALSE(input::key_pressed(input.state, 500));
}

TEST(InputSlots, wheel_notches_press_page_up_and_page_down) {
  Input input;
  Event wheel;
  wheel.type = EventType::Wheel;
  wheel.wheel = 1;
  input::handle_event(input.state, input.machine, wheel);
  wheel.wheel = -2;
  input::handle_event(input.state, input.machine, wheel);
  input.logical();
  EXPECT_TRUE(input::key_pressed(input.state, 33));
  EXPECT_TRUE(input::key_pressed(input.state, 34));
  EXPECT_FALSE(input::key_down(input.state, 33));
}

TEST(InputSlots, the_controller_presses_keys_in_either_mapping_mode_only_while_in_use) {
  using platform::PadButton;
  struct Case {
    int32_t mode;
    PadButton button;
    int32_t key;
    const char* logical;
  };
  const Case cases[] = {
      {1, PadButton::DpadUp, 0x26, "u"},   {1, PadButton::DpadLeft, 0x25, "l"}, {1, PadButton::A, 0x1B, "c"},
      {1, PadButton::B, 0x0D, "d"},        {2, PadButton::DpadUp, 0x68, "u"},   {2, PadButton::DpadRight, 0x66, "r"},
      {2, PadButton::B, 0x0D, "d"},
  };
  for (const Case& c : cases) {
    Input input;
    input.pad(EventType::PadButtonDown, c.button);
    input::poll_pad(input.state, input.machine);
    EXPECT_EQ(input.logical(), "") << "joystick use is off";
    input.state.pad.use = 1;
    input.state.pad.mapping_mode = c.mode;
    input.advance(10);
    input::poll_pad(input.state, input.machine);
    EXPECT_EQ(input.logical(), c.logical) << c.mode << " " << int(c.button);
    EXPECT_TRUE(input::key_down(input.state, c.key));
    input.pad(EventType::PadButtonUp, c.button);
    input.advance(10);
    input::poll_pad(input.state, input.machine);
    EXPECT_EQ(input.logical(), "");
  }
  // A stick beyond a third of its travel is a direction.
  Input input;
  input.state.pad.use = 1;
  Event axis;
  axis.type = EventType::PadAxis;
  axis.pad_axis = platform::PadAxis::LeftX;
  axis.axis_value = 30000;
  input::handle_event(input.state, input.machine, axis);
  input::poll_pad(input.state, input.machine);
  EXPECT_EQ(input.logical(), "r");
}

TEST(InputSlots, the_lock_keeps_keys_out_until_reset) {
  Input input;
  input.state.locked = true;
  input.key("Return", EventType::KeyDown);
  EXPECT_EQ(input.logical(), "");
  input::reset_input(input.state, input.machine);
  input.key("Return", EventType::KeyDown);
  EXPECT_EQ(input.logical(), "d");
}

TEST(InputSlots, events_naming_no_slot_are_ignored) {
  Input input;
  for (int32_t key : {-1, 148, 255, 256, 100000}) {
    input.send(EventType::KeyDown, key);
    input.send(EventType::KeyUp, key);
  }
  input.pad(EventType::PadButtonDown, platform::PadButton(200));
  Event axis;
  axis.type = EventType::PadAxis;
  axis.pad_axis = platform::PadAxis(99);
  input::handle_event(input.state, input.machine, axis);
  EXPECT_EQ(input.logical(), "");
  EXPECT_EQ(input.state.pad.buttons, 0u);
}

}  // namespace
}  // namespace tavelo::testing
