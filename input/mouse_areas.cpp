// Mouse areas and the drag tracker.

#include "input/mouse_areas.h"

#include <cstdlib>
#include <vector>

#include "input/input.h"
#include "input/state.h"
#include "platform/key_map.h"
#include "script/thread.h"

namespace tavelo::input {
namespace {

using script::MouseArea;

using namespace platform::keys;
// A drag begins when the pointer moves more than this from the press, or the
// button is held longer than the double-click time.
constexpr int32_t kDragDistance = 8;
constexpr uint32_t kDoubleClickMs = 250;

enum class Direction { None, Left, Up, Right, Down };

Direction direction_of(int32_t key) {
  switch (key) {
    case kKeyLeft: case 0x64: return Direction::Left;
    case kKeyUp: case 0x68: return Direction::Up;
    case kKeyRight: case 0x66: return Direction::Right;
    case kKeyDown: case 0x62: return Direction::Down;
    default: return Direction::None;
  }
}

ScriptCall area_call(uint32_t function, const MouseArea& area) {
  return {function, true, {area.id, area.x, area.y, area.width, area.height}, 5};
}

ScriptCall pointer_call(uint32_t function, int32_t x, int32_t y) { return {function, true, {x, y}, 2}; }

// Index of the area at the frame word (index + 1), or -1.
int32_t area_at_word(const script::Thread& thread, int32_t word) {
  int32_t index = word - 1;
  return index >= 0 && index < int32_t(thread.mouse_areas.size()) ? index : -1;
}

// Overlap of [a, a + a_size) and [b, b + b_size).
int64_t overlap(int64_t a, int64_t a_size, int64_t b, int64_t b_size) {
  return std::min(a + a_size, b + b_size) - std::max(a, b);
}

// The nearest keyed area in the direction of travel from the focused one.
int32_t find_neighbour(const std::vector<MouseArea>& areas, int32_t focused_index, Direction direction) {
  const MouseArea& focused = areas[size_t(focused_index)];
  bool horizontal = direction == Direction::Left || direction == Direction::Right;
  auto edge = [&](const MouseArea& area) -> int64_t { return horizontal ? area.x : area.y; };
  auto candidates = [&](bool first_pass) {
    int64_t best = 9999;
    int32_t found = -1;
    for (size_t i = 0; i < areas.size(); ++i) {
      const MouseArea& area = areas[i];
      if (area.key_code == 0 || area.id == focused.id) continue;
      if (first_pass) {
        int64_t across = horizontal ? overlap(focused.y, focused.height, area.y, area.height)
                                    : overlap(focused.x, focused.width, area.x, area.width);
        int64_t focused_size = horizontal ? focused.height : focused.width;
        int64_t own_size = horizontal ? area.height : area.width;
        if (!(across > focused_size / 2 || across > own_size / 2)) continue;
      }
      int64_t margin = first_pass ? 0 : 16;
      bool ahead = direction == Direction::Left || direction == Direction::Up ? edge(area) < edge(focused) - margin
                                                                             : edge(area) > edge(focused) + margin;
      if (!ahead) continue;
      int64_t distance = std::llabs(edge(area) - edge(focused));
      if (distance < best) {
        best = distance;
        found = int32_t(i);
      }
    }
    return found;
  };
  int32_t found = candidates(true);
  return found >= 0 ? found : candidates(false);
}

void move_pointer_to(State& state, const MouseArea& area, int32_t& px, int32_t& py) {
  px = int32_t((int64_t(area.x) + area.width / 2));
  py = int32_t((int64_t(area.y) + area.height / 2));
  state.pointer = {px, py};
}

// An area chosen by its key: focused, pointer at its centre, flagged; a key
// on an area the pointer is already in clicks it.
void select_by_key(State& state, script::Thread& thread, int32_t key, int32_t& px, int32_t& py, bool& left) {
  int32_t* words = thread.frame().mouse_words;
  for (size_t i = 0; i < thread.mouse_areas.size(); ++i) {
    MouseArea& area = thread.mouse_areas[i];
    if (area.key_code != key) continue;
    words[kWordFocused] = int32_t(i) + 1;
    words[kWordRemembered] = 0;
    move_pointer_to(state, area, px, py);
    area.key_pressed = true;
    if (area.state == 1 || area.state == 2) left = true;
  }
}

}  // namespace

bool area_contains(const MouseArea& area, int32_t x, int32_t y) {
  return area.x <= x && int64_t(x) < int64_t(area.x) + area.width && area.y <= y &&
         int64_t(y) < int64_t(area.y) + area.height;
}

ScriptCall poll_mouse_areas(State& state, script::Thread& thread) {
  int32_t* words = thread.frame().mouse_words;
  std::vector<MouseArea>& areas = thread.mouse_areas;
  int32_t px = state.pointer.x;
  int32_t py = state.pointer.y;
  bool left = thread.pending_left;
  bool right = thread.pending_right;
  bool middle = thread.pending_middle;
  thread.pending_left = thread.pending_right = thread.pending_middle = false;
  int32_t key = state.last_key;
  state.last_key = 0;

  if (state.frame_mouse_mode) {
    for (MouseArea& area : areas) area.key_pressed = false;
  } else {
    int32_t focused = area_at_word(thread, words[kWordFocused]);
    if (focused >= 0) {
      Direction direction = direction_of(key);
      if (direction != Direction::None) {
        int32_t next = find_neighbour(areas, focused, direction);
        if (next >= 0) {
          words[kWordFocused] = words[kWordRemembered] = next + 1;
          move_pointer_to(state, areas[size_t(next)], px, py);
        }
      }
    } else {
      int32_t chosen = area_at_word(thread, words[kWordRemembered]);
      for (size_t i = 0; chosen < 0 && i < areas.size(); ++i) {
        if (areas[i].key_code != 0) chosen = int32_t(i);
      }
      if (chosen >= 0) {
        words[kWordFocused] = words[kWordRemembered] = chosen + 1;
        move_pointer_to(state, areas[size_t(chosen)], px, py);
      }
    }
    if (key != 0) {
      select_by_key(state, thread, key, px, py, left);
    } else {
      int32_t still = 0;
      for (MouseArea& area : areas) {
        if (!area.key_pressed) continue;
        area.key_pressed = area_contains(area, px, py);
        if (area.key_pressed && still == 0) still = area.key_code;
      }
      if (still != 0) select_by_key(state, thread, still, px, py, left);
    }
  }

  if (words[kWordInput] != 0) {
    int32_t bits = 0;
    // Every slot is taken, so each press is reported once.
    if (key_pressed(state, kSlotPageUp)) bits |= 1;
    if (key_pressed(state, kSlotPageDown)) bits |= 2;
    if (key_pressed(state, kSlotErase)) bits |= 4;
    if (key_pressed(state, kSlotUp)) bits |= 8;
    if (key_pressed(state, kSlotDown)) bits |= 16;
    if (bits != 0) return {uint32_t(words[kWordInput]), true, {px, py, bits}, 3};
  }

  int32_t depth = thread.depth;
  if (left) {
    // The click goes to the entered area under the pointer. A press where
    // the pointer has not been before (a tap on a touch screen, a replayed
    // click) first leaves the area entered elsewhere and enters the one
    // under the press; the click stays pending and reaches that area in a
    // following poll.
    bool entered_under_pointer = false;
    bool unentered_under_pointer = false;
    for (MouseArea& area : areas) {
      if (!area_contains(area, px, py)) continue;
      if (area.state == 1 || area.state == 2) entered_under_pointer = true;
      if (area.depth >= depth && area.state == 0) unentered_under_pointer = true;
      if (area.depth < depth || area.state != 1) continue;
      area.state = 2;
      set_pointer(state, -10000, 0);
      return area_call(area.click, area);
    }
    if (unentered_under_pointer && !entered_under_pointer) {
      thread.pending_left = true;
    } else if (words[kWordLeft] != 0) {
      set_pointer(state, -10000, 0);
      return pointer_call(uint32_t(words[kWordLeft]), px, py);
    }
  }
  int32_t other = right && words[kWordRight] != 0 ? words[kWordRight] : middle ? words[kWordMiddle] : 0;
  if (other != 0) {
    set_pointer(state, -10000, 0);
    return pointer_call(uint32_t(other), px, py);
  }

  bool still_inside = false;
  for (MouseArea& area : areas) {
    if (area.state != 1 && area.state != 2) continue;
    if (area_contains(area, px, py)) {
      still_inside = true;
      continue;
    }
    area.state = 0;
    if (state.frame_mouse_mode) words[kWordFocused] = 0;
    return area_call(area.leave, area);
  }
  if (still_inside) return {};

  for (size_t i = 0; i < areas.size(); ++i) {
    MouseArea& area = areas[i];
    if (area.depth < depth || !area_contains(area, px, py)) continue;
    words[kWordFocused] = int32_t(i) + 1;
    words[kWordRemembered] = area.key_code != 0 ? int32_t(i) + 1 : 0;
    area.state = 1;
    return area_call(area.enter, area);
  }
  return {};
}

// ---- drag tracker

void start_drag_tracking(State& state, uint32_t per_poll, uint32_t position_change, uint32_t wheel) {
  DragTracker& drag = state.drag;
  drag.active = true;
  drag.per_poll = per_poll;
  drag.position_change = position_change;
  drag.wheel = wheel;
  drag.now = DragRecord{};
  drag.previous = DragRecord{};
  drag.queued = 0;
  drag.now.x = state.pointer.x;
  drag.now.y = state.pointer.y;
  // The first poll sees a change of position.
  drag.previous.x = state.pointer.x - 999;
  drag.previous.y = state.pointer.y - 999;
}

void track_drag_message(State& state, DragSide side, DragMessage message, int32_t x, int32_t y, uint32_t now) {
  DragRecord& record = state.drag.now;
  DragButton& button = side == DragSide::Left ? record.left : record.right;
  switch (message) {
    case DragMessage::Down:
      button.pressed = 1;
      button.press_time = now;
      button.state = 0;
      button.press_x = x;
      button.press_y = y;
      button.hold_start_time = button.pending_click_time = now;
      break;
    case DragMessage::DoubleClick:
      button.pressed = 1;
      button.double_click_time = now;
      button.press_x = x;
      button.press_y = y;
      button.state = 1;
      break;
    case DragMessage::Up:
      if (!button.pressed) return;
      button.pressed = 0;
      if (button.state == 1) {
        button.pending_click_time = button.hold_start_time = 0;
      } else if (button.state == 2) {
        button.release_time = now;
        button.state = 0;
      }
      return;
  }
  if (record.left.pressed && record.right.pressed) {
    record.both_buttons = 1;
    record.left.pressed = record.right.pressed = 0;
  }
}

namespace {

void queue_call(DragTracker& drag, uint32_t function, std::initializer_list<int32_t> arguments) {
  if (function == 0 || drag.queued >= int32_t(drag.queued_functions.size())) return;
  size_t at = size_t(drag.queued++);
  drag.queued_functions[at] = function;
  drag.queued_counts[at] = int32_t(arguments.size());
  size_t i = 0;
  for (int32_t argument : arguments) drag.queued_arguments[at][i++] = argument;
}

void step_button(DragTracker& drag, DragButton& button, const DragButton& before,
                 const std::array<uint32_t, kDragFunctionCount>& functions, int32_t x, int32_t y, uint32_t now) {
  if (button.pressed && !before.pressed) queue_call(drag, functions[kDragPress], {x, y});
  if (button.double_click_time != 0) {
    queue_call(drag, functions[kDragDouble], {x, y});
    button.press_time = button.pending_click_time = button.double_click_time = 0;
  } else if (button.pending_click_time != 0 &&
             (std::llabs(int64_t(x) - button.press_x) > kDragDistance ||
              std::llabs(int64_t(y) - button.press_y) > kDragDistance ||
              now - button.press_time > kDoubleClickMs)) {
    if (!button.pressed) {
      queue_call(drag, functions[kDragClick], {button.press_x, button.press_y});
    } else {
      button.state = 2;
    }
    button.pending_click_time = 0;
  }
  if (button.state == 2) {
    if (before.state != 2) {
      queue_call(drag, functions[kDragStart], {button.press_x, button.press_y});
    } else {
      queue_call(drag, functions[kDragMove], {x, y});
    }
  }
  if (button.release_time != 0) {
    queue_call(drag, functions[kDragEnd], {x, y});
    button.press_time = button.release_time = 0;
    button.state = 0;
  }
}

}  // namespace

ScriptCall poll_drag(State& state, uint32_t now) {
  DragTracker& drag = state.drag;
  if (drag.queued == 0) {
    DragRecord& record = drag.now;
    record.x = state.pointer.x;
    record.y = state.pointer.y;
    int32_t x = record.x;
    int32_t y = record.y;
    if (drag.wheel != 0) {
      int32_t bits = (key_pressed(state, kSlotPageUp) ? 1 : 0) | (key_pressed(state, kSlotPageDown) ? 2 : 0) |
                     (key_pressed(state, kSlotErase) ? 4 : 0);
      if (bits != 0) queue_call(drag, drag.wheel, {x, y, bits});
    }
    if (record.both_buttons) {
      if (drag.previous.left.state == 2) {
        queue_call(drag, drag.left_functions[kDragCancel], {drag.previous.left.press_x, drag.previous.left.press_y});
      }
      if (drag.previous.right.state == 2) {
        queue_call(drag, drag.right_functions[kDragCancel],
                   {drag.previous.right.press_x, drag.previous.right.press_y});
      }
      record = DragRecord{};
      record.x = x;
      record.y = y;
      drag.previous = DragRecord{};
    } else {
      step_button(drag, record.left, drag.previous.left, drag.left_functions, x, y, now);
      step_button(drag, record.right, drag.previous.right, drag.right_functions, x, y, now);
    }
    if (x != drag.previous.x || y != drag.previous.y) {
      queue_call(drag, drag.position_change, {x, y, record.left.pressed, record.right.pressed});
    }
    queue_call(drag, drag.per_poll, {x, y, record.left.pressed, record.right.pressed});
    drag.previous = record;
  }
  if (drag.queued == 0) return {};
  ScriptCall call;
  call.function = drag.queued_functions[0];
  call.wanted = true;
  call.count = drag.queued_counts[0];
  for (int i = 0; i < call.count; ++i) call.arguments[size_t(i)] = drag.queued_arguments[0][size_t(i)];
  for (int32_t i = 1; i < drag.queued; ++i) {
    drag.queued_functions[size_t(i - 1)] = drag.queued_functions[size_t(i)];
    drag.queued_counts[size_t(i - 1)] = drag.queued_counts[size_t(i)];
    drag.queued_arguments[size_t(i - 1)] = drag.queued_arguments[size_t(i)];
  }
  --drag.queued;
  return call;
}

}  // namespace tavelo::input
