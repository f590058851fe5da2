// Replayed input.

#include "host/input_replay.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "graphics/screen.h"
#include "graphics/state.h"
#include "host/engine.h"
#include "host/state.h"
#include "platform/key_map.h"
#include "script/scheduler.h"

namespace tavelo::host {
namespace {

// Pointer positions and wheel notches beyond these are mistakes, not input.
constexpr int32_t kCoordinateLimit = 1 << 20;
constexpr int32_t kWheelLimit = 10000;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

// Splits off the first field; rest keeps what follows it, trimmed.
std::string_view take_field(std::string_view& rest) {
  rest = trim(rest);
  size_t end = 0;
  while (end < rest.size() && !is_blank(rest[end])) ++end;
  std::string_view field = rest.substr(0, end);
  rest = trim(rest.substr(end));
  return field;
}

std::optional<int64_t> number_of(std::string_view field) {
  int64_t value = 0;
  if (field.empty() || field.size() > 12) return std::nullopt;
  const char* end = field.data() + field.size();
  auto [last, error] = std::from_chars(field.data() + (field.front() == '+' ? 1 : 0), end, value);
  if (error != std::errc() || last != end) return std::nullopt;
  return value;
}

// Length of the UTF-8 sequence starting at text[at], or 0 when it is not one.
size_t utf8_sequence(std::string_view text, size_t at) {
  auto byte = [&](size_t i) { return uint8_t(text[i]); };
  uint8_t lead = byte(at);
  size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) code = code << 6 | (byte(at + i) & 0x3F);
  constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

bool valid_utf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    size_t length = utf8_sequence(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::optional<platform::MouseButton> button_of(std::string_view name) {
  if (name == "left") return platform::MouseButton::Left;
  if (name == "right") return platform::MouseButton::Right;
  if (name == "middle") return platform::MouseButton::Middle;
  return std::nullopt;
}

class LineParser {
 public:
  LineParser(std::string_view rest, uint32_t time, std::vector<platform::Event>& out, std::string_view base)
      : m_rest(rest), m_time(time), m_out(out), m_base(base) {}

  // Empty when the line was good, else the reason.
  std::string parse() {
    std::string_view verb = take_field(m_rest);
    if (verb == "key") return key();
    if (verb == "click") return click();
    if (verb == "mouse") return mouse();
    if (verb == "wheel") return wheel();
    if (verb == "text") return text();
    if (verb == "pad") return pad();
    if (verb == "close") return simple(platform::EventType::CloseRequested);
    if (verb == "screenshot") return screenshot();
    if (verb.empty()) return "an event is missing after the time";
    return "unknown event '" + std::string(verb) + "'";
  }

 private:
  platform::Event& add(platform::EventType type, uint32_t delay = 0) {
    platform::Event event;
    event.type = type;
    event.time = m_time + delay;
    m_out.push_back(std::move(event));
    return m_out.back();
  }

  std::string finished(std::string_view what) {
    if (m_rest.empty()) return {};
    return "unexpected '" + std::string(m_rest) + "' after " + std::string(what);
  }

  std::string key() {
    std::string_view rest = m_rest;
    std::string_view first = take_field(rest);
    bool down = first == "down" && !rest.empty();
    bool up = first == "up" && !rest.empty();
    std::string_view name = down || up ? rest : m_rest;
    if (name.empty()) return "key needs a key name";
    std::optional<int32_t> key = platform::virtual_key_of_name(name);
    if (!key) return "unknown key name '" + std::string(name) + "'";
    if (!up) add(platform::EventType::KeyDown).key = *key;
    if (!down) add(platform::EventType::KeyUp, up ? 0 : kReplayHoldMs).key = *key;
    return {};
  }

  std::string point(int32_t& x, int32_t& y) {
    std::string_view x_field = take_field(m_rest);
    std::string_view y_field = take_field(m_rest);
    std::optional<int64_t> x_value = number_of(x_field);
    std::optional<int64_t> y_value = number_of(y_field);
    if (x_field.empty() || y_field.empty()) return "a position needs X and Y";
    if (!x_value || !y_value) return "X and Y must be whole numbers";
    if (std::abs(*x_value) > kCoordinateLimit || std::abs(*y_value) > kCoordinateLimit) return "position out of range";
    x = int32_t(*x_value);
    y = int32_t(*y_value);
    return {};
  }

  std::string button_and_point(platform::MouseButton& button, int32_t& x, int32_t& y) {
    std::string_view name = take_field(m_rest);
    std::optional<platform::MouseButton> parsed = button_of(name);
    if (!parsed) return "unknown mouse button '" + std::string(name) + "' (left, right or middle)";
    button = *parsed;
    return point(x, y);
  }

  std::string click() {
    platform::MouseButton button{};
    int32_t x = 0;
    int32_t y = 0;
    if (std::string problem = button_and_point(button, x, y); !problem.empty()) return problem;
    if (std::string problem = finished("the position"); !problem.empty()) return problem;
    platform::Event& move = add(platform::EventType::MouseMove);
    move.x = x;
    move.y = y;
    for (platform::EventType type : {platform::EventType::MouseDown, platform::EventType::MouseUp}) {
      platform::Event& press = add(type, type == platform::EventType::MouseUp ? kReplayHoldMs : 0);
      press.button = button;
      press.x = x;
      press.y = y;
    }
    return {};
  }

  std::string mouse() {
    std::string_view action = take_field(m_rest);
    int32_t x = 0;
    int32_t y = 0;
    if (action == "move") {
      if (std::string problem = point(x, y); !problem.empty()) return problem;
      if (std::string problem = finished("the position"); !problem.empty()) return problem;
      platform::Event& move = add(platform::EventType::MouseMove);
      move.x = x;
      move.y = y;
      return {};
    }
    if (action != "down" && action != "up") return "mouse needs down, up or move";
    platform::MouseButton button{};
    if (std::string problem = button_and_point(button, x, y); !problem.empty()) return problem;
    if (std::string problem = finished("the position"); !problem.empty()) return problem;
    platform::Event& press = add(action == "down" ? platform::EventType::MouseDown : platform::EventType::MouseUp);
    press.button = button;
    press.x = x;
    press.y = y;
    return {};
  }

  std::string wheel() {
    std::string_view field = take_field(m_rest);
    std::optional<int64_t> notches = number_of(field);
    if (!notches || *notches == 0 || std::abs(*notches) > kWheelLimit) {
      return "wheel needs a number of notches (not 0, at most 10000 either way)";
    }
    if (std::string problem = finished("the notches"); !problem.empty()) return problem;
    add(platform::EventType::Wheel).wheel = int32_t(*notches);
    return {};
  }

  std::string text() {
    if (m_rest.empty()) return "text needs the text to type";
    add(platform::EventType::TextInput).text = std::string(m_rest);
    return {};
  }

  std::string pad() {
    std::string_view name = take_field(m_rest);
    if (name == "axis") {
      std::string_view axis_name = take_field(m_rest);
      std::optional<platform::PadAxis> axis = platform::pad_axis_of_name(axis_name);
      if (!axis) return "unknown controller axis '" + std::string(axis_name) + "'";
      std::optional<int64_t> value = number_of(take_field(m_rest));
      if (!value || *value < -32768 || *value > 32767) return "an axis value runs from -32768 to 32767";
      if (std::string problem = finished("the axis value"); !problem.empty()) return problem;
      platform::Event& event = add(platform::EventType::PadAxis);
      event.pad_axis = *axis;
      event.axis_value = int32_t(*value);
      return {};
    }
    std::optional<platform::PadButton> button = platform::pad_button_of_name(name);
    if (!button) return "unknown controller button '" + std::string(name) + "'";
    if (std::string problem = finished("the button"); !problem.empty()) return problem;
    add(platform::EventType::PadButtonDown).pad_button = *button;
    add(platform::EventType::PadButtonUp, kReplayHoldMs).pad_button = *button;
    return {};
  }

  std::string simple(platform::EventType type) {
    if (std::string problem = finished("the event"); !problem.empty()) return problem;
    add(type);
    return {};
  }

  std::string screenshot() {
    if (m_rest.empty()) return "screenshot needs a file name";
    std::string path(m_rest);
    if (path.front() != '/' && !m_base.empty()) path = std::string(m_base) + "/" + path;
    add(platform::EventType::Screenshot).text = std::move(path);
    return {};
  }

  std::string_view m_rest;
  uint32_t m_time;
  std::vector<platform::Event>& m_out;
  std::string_view m_base;
};

}  // namespace

ReplayParse parse_input_replay(std::string_view text, std::string_view base_directory) {
  ReplayParse result;
  uint32_t last_time = 0;
  size_t number = 0;
  size_t start = 0;
  while (start < text.size()) {
    ++number;
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    auto fail = [&](std::string reason) {
      result.events.clear();
      result.error = ReplayError{number, std::move(reason)};
      return result;
    };
    if (!valid_utf8(line)) return fail("the line is not UTF-8 text");
    std::string_view rest = trim(line);
    if (rest.empty() || rest.front() == '#') continue;
    std::string_view time_field = take_field(rest);
    std::optional<int64_t> time = number_of(time_field);
    if (!time || time_field.front() == '+' || time_field.front() == '-') {
      return fail("a line starts with its time in milliseconds, not '" + std::string(time_field) + "'");
    }
    if (*time > int64_t(kReplayLastTime)) return fail("time out of range");
    if (uint32_t(*time) < last_time) return fail("times must not decrease");
    last_time = uint32_t(*time);
    std::string problem = LineParser(rest, last_time, result.events, base_directory).parse();
    if (!problem.empty()) return fail(std::move(problem));
  }
  // Releases 50 ms later fall among later lines; equal times keep file order.
  std::stable_sort(result.events.begin(), result.events.end(),
                   [](const platform::Event& a, const platform::Event& b) { return a.time < b.time; });
  return result;
}

void load_input_replay(Engine& engine, std::vector<platform::Event> events) {
  engine.host.replay = InputReplay{};
  engine.host.replay.events = std::move(events);
  engine.platform.set_scripted_input(!engine.host.replay.events.empty());
}

void deliver_replayed_input(Engine& engine) {
  InputReplay& replay = engine.host.replay;
  if (replay.next >= replay.events.size()) return;
  uint32_t now = script::script_time(engine.script);
  if (!replay.started) {
    replay.started = true;
    replay.start_time = now;
  }
  uint32_t elapsed = now - replay.start_time;
  while (replay.next < replay.events.size() && replay.events[replay.next].time <= elapsed) {
    platform::Event event = replay.events[replay.next++];
    // Positions are game-screen pixels; the platform's events carry window
    // pixels.
    if (event.type == platform::EventType::MouseMove || event.type == platform::EventType::MouseDown ||
        event.type == platform::EventType::MouseUp) {
      graphics::Point point = graphics::screen_to_window(engine.graphics.screen, {event.x, event.y});
      event.x = point.x;
      event.y = point.y;
    }
    event.time = engine.platform.ticks_ms();
    engine.platform.inject_event(std::move(event));
  }
  if (replay.next >= replay.events.size()) engine.platform.set_scripted_input(false);
}

}  // namespace tavelo::host
