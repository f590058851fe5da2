// The message window: pending text, control codes, console commands, voices
// and the events they raise. The layout of lines and the history replay are
// in layout.cpp.

#include "text/message_window.h"

#include <algorithm>
#include <cstdio>

#include "resources/settings.h"
#include "script/interpreter.h"
#include "script/machine.h"
#include "script/read_marks.h"
#include "script/state.h"
#include "script/thread.h"
#include "script/waits.h"
#include "text/state.h"

namespace tavelo::text {
namespace {

// Commands are logged like text: a script's long `x` string is cut as
// pending text is.
constexpr size_t kCommandLimit = kPendingTextLimit;
// Offsets of the numbers in a command: "0x" and eight hex digits each.
constexpr size_t kFirstNumber = 1;
constexpr size_t kNumberWidth = 10;
// `g` numbers equal to this are left out of the event.
constexpr int32_t kGroupSkipped = -99;

void append_hex_field(std::string& command, int32_t value) {
  char field[16];
  std::snprintf(field, sizeof field, "0x%08x", unsigned(uint32_t(value)));
  command += field;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Number k of a command. Digits that are not hexadecimal still count (their
// low four bits), as the window has always read them; a command that ends
// early reads 0.
int32_t command_number(std::string_view command, size_t k) {
  const size_t at = kFirstNumber + k * kNumberWidth + 2;
  uint32_t value = 0;
  for (size_t i = 0; i < 8; ++i) {
    if (at + i >= command.size()) return 0;
    const int digit = hex_digit(command[at + i]);
    value = value << 4 | uint32_t(digit >= 0 ? digit : command[at + i] & 0xF);
  }
  return int32_t(value);
}

std::string_view until_nul(std::string_view text) {
  const size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

void queue_event(State& text, uint32_t key, std::vector<EventValue> values = {}) {
  text.events.push_back({key, std::move(values)});
}

void line_break(State& text) {
  FontRecord& console = text.message.console;
  console.x = wrapping_add(console.frame.x, console.indent);
  console.y = wrapping_add(console.y, console.pitch);
  text.message.page_start = false;
  queue_event(text, kEventLineBreak);
}

void clear_page(State& text) {
  MessageState& message = text.message;
  FontRecord& console = message.console;
  message.quotations = {};
  message.quotation_count = 0;
  message.caption.clear();
  console.no_wait = false;
  console.character_delay = -1;
  console.indent = 0;
  console.x = console.frame.x;
  console.y = console.frame.y;
  queue_event(text, kEventPageCleared);
  message.page_start = true;
}

void announce_voice(State& text, script::Machine& machine, std::string_view command, CommandOrigin origin) {
  MessageState& message = text.message;
  VoiceAnnouncement voice;
  voice.loop = command.size() > 1 && command[1] != '0';
  voice.name = command.size() > 2 ? command.substr(2) : std::string_view{};
  // A voice written into the text plays whatever the player's switches say.
  voice.gate = origin == CommandOrigin::ControlCode ? VoiceGate::Forced
               : message.next_voice_male            ? VoiceGate::Male
                                                    : VoiceGate::Female;
  voice.skip = message.next_voice_skip;
  if (text.play_voice && text.play_voice(machine.engine, voice)) note_voice(text, machine);
  message.next_voice_male = false;
  message.next_voice_skip = message.options.voice_skip_default;
}

void choose_console_font(State& text, script::Machine& machine, std::string_view command) {
  FontRecord& console = text.message.console;
  const int32_t width = command_number(command, 1);
  const int32_t pitch = command_number(command, 2);
  const int32_t extra = command_number(command, 3);
  std::string_view face = command.size() > 41 ? until_nul(command.substr(41)) : std::string_view{};
  const std::string current = console.face;
  FontChoice choice;
  choice.face = face.empty() ? std::string_view(current) : face;
  choice.height = command_number(command, 0);
  if (width != -1) choice.width = width;
  if (pitch != -1) choice.pitch = pitch;
  if (extra != -1) choice.extra = extra;
  choose_font(text.renderer, console, choice, draw_settings_for(console, machine));
}

// The values of the top count stack records, deepest first (the order the
// control code's arguments were pushed in).
std::vector<script::Value> control_arguments(script::Thread& thread, int32_t count) {
  count = std::clamp(count, 0, thread.sp - 1);
  return std::vector<script::Value>(thread.stack() + thread.sp - count, thread.stack() + thread.sp);
}

int32_t int_of(const script::Value& value) {
  if (value.type == script::ValueType::Int) return value.integer;
  if (value.type == script::ValueType::Float) {
    const float real = value.real;
    if (!(real > -2147483904.0f && real < 2147483648.0f)) return INT32_MIN;
    return int32_t(real);
  }
  return 0;
}

std::string_view text_of(const script::Value& value) {
  return value.type == script::ValueType::String ? until_nul(value.string->text()) : std::string_view{};
}

int32_t argument_count(char code) {
  switch (code) {
    case 'c': case 'l': case 'o': return 2;
    case 'd': case 's': case 't': case 'x': return 1;
    case 'f': return 5;
    case 'g': return 6;
    default: return 0;
  }
}

// The console command a control code stands for.
std::string command_for(char code, std::string_view inline_code, const std::vector<script::Value>& arguments,
                        bool in_quotation) {
  auto number = [&](size_t i) { return i < arguments.size() ? int_of(arguments[i]) : 0; };
  auto string = [&](size_t i) { return i < arguments.size() ? text_of(arguments[i]) : std::string_view{}; };
  switch (code) {
    case 'c': case 'l': case 'o': return make_command(code, {number(0), number(1)});
    case 's': case 't': return make_command(code, {number(0)});
    case 'g': return make_command(code, {number(0), number(1), number(2), number(3), number(4), number(5)});
    // Arguments height, width, pitch, face, extra; the face goes last.
    case 'f': return make_command(code, {number(0), number(1), number(2), number(4)}, string(3));
    case 'x': return make_command(code, {}, string(0));
    case 'n': return in_quotation ? "N" : "n";
    default: return std::string(inline_code);
  }
}

bool sleep_over(script::Machine& machine, const script::Thread& thread, const script::Frame& frame) {
  if (thread.id == 0 && script::is_skipping(machine)) return true;
  return script::deadline_reached(machine.clock.held, frame.wait_deadline);
}

}  // namespace

std::string make_command(char kind, std::initializer_list<int32_t> numbers, std::string_view tail) {
  std::string command(1, kind);
  for (int32_t number : numbers) append_hex_field(command, number);
  command += tail;
  return command;
}

bool instant_skipping(const script::Machine& machine) {
  return machine.skip.fast_forward && machine.skip.suspension == 0;
}

DrawSettings draw_settings_for(const FontRecord& record, script::Machine& machine) {
  DrawSettings settings;
  const script::SkipState& skip = machine.skip;
  // The skip test without its side effects: drawing must not end read-skip.
  settings.skip_active = skip.suspension == 0 &&
                         (skip.skip_all || skip.fast_forward ||
                          ((skip.read_skip || script::keyboard_skip_on(machine)) && skip.current_line_read));
  if ((record.effect & 0x7F000000u) == 0x04000000u) {
    resources::State& resources = machine.resources;
    settings.decoration.shadow = resources::read_user_setting(resources, resources::UserSetting::FontShadow) != 0;
    settings.decoration.outline = resources::read_user_setting(resources, resources::UserSetting::Fuchidori) != 0;
    settings.decoration.bold = resources::read_user_setting(resources, resources::UserSetting::FontBold) != 0;
  }
  return settings;
}

void reset_message_window(State& text) {
  MessageState& message = text.message;
  message.open = false;
  message.pending.clear();
  message.replay = ReplayMode::Off;
  message.replay_cursors.clear();
  message.history_suspension = 0;
  // Code blocks are loaded again: an old instruction address means nothing.
  message.last_logged = nullptr;
  message.next_voice_male = false;
  message.next_voice_skip = message.options.voice_skip_default;
  text.renderer.line_buffer = graphics::Page();
  text.history = History();
  text.events.clear();
  text.reading.page = PageText{};
}

void append_message_text(MessageState& message, const resources::LeadByteTable& lead, std::string_view game_text) {
  game_text = until_nul(game_text);
  if (message.pending.size() >= kPendingTextLimit || game_text.empty()) return;
  message.pending += resources::cut_game_text(lead, game_text, kPendingTextLimit - message.pending.size());
}

CommandResult execute_command(State& text, script::Machine& machine, std::string_view command, CommandOrigin origin) {
  MessageState& message = text.message;
  FontRecord& console = message.console;
  CommandResult result;
  command = until_nul(command);
  if (command.empty()) return result;
  const bool replaying = message.replay != ReplayMode::Off;
  if (replaying && origin == CommandOrigin::ControlCode) return result;
  if (!replaying && origin != CommandOrigin::History && message.history_suspension == 0) {
    append_history_command(text.history, resources::cut_game_text(text.renderer.codec.lead_bytes, command, kCommandLimit));
  }
  switch (command[0]) {
    case 'c':
      console.colour = uint32_t(command_number(command, 0));
      console.effect = uint32_t(command_number(command, 1));
      break;
    case 'f': choose_console_font(text, machine, command); break;
    case 'g': {
      std::vector<EventValue> values;
      for (size_t k = 0; k < 6; ++k) {
        const int32_t value = command_number(command, k);
        if (value != kGroupSkipped) values.emplace_back(value);
      }
      queue_event(text, kEventCommandGroup, std::move(values));
      break;
    }
    case 'l':
      console.x = command_number(command, 0);
      console.y = command_number(command, 1);
      break;
    case 'n': {
      const bool suppressed = message.suppress_newline;
      message.suppress_newline = false;
      if (suppressed && console.x == console.frame.x && console.y == console.frame.y) break;
      line_break(text);
      note_line_break(text);
      break;
    }
    case 'N':
      line_break(text);
      note_line_break(text);
      break;
    case 'o':
      message.saved_x = console.x;
      message.saved_y = console.y;
      console.x = wrapping_add(console.x, command_number(command, 0));
      console.y = wrapping_add(console.y, command_number(command, 1));
      break;
    case 'p':
      console.no_wait = false;
      console.character_delay = -1;
      queue_event(text, kEventPageWait);
      finish_page(text, machine);
      break;
    case 'r':
      console.x = message.saved_x;
      console.y = message.saved_y;
      break;
    case 's': console.character_delay = command_number(command, 0); break;
    case 't':
      if (!console.no_wait) result.sleep_ms = std::max(command_number(command, 0), 0);
      break;
    case 'v': announce_voice(text, machine, command, origin); break;
    case 'w':
      finish_page(text, machine);
      clear_page(text);
      break;
    case 'x': queue_event(text, kEventCommandText, {std::string(command.substr(1))}); break;
    case 'z': console.no_wait = true; break;
    default: break;
  }
  return result;
}

bool run_control_code(State& text, script::Machine& machine, std::string_view code) {
  code = until_nul(code);
  script::Thread* thread = machine.current;
  if (code.empty() || !thread) return true;
  const char kind = code[0];
  const int32_t count = argument_count(kind);
  script::Frame& frame = thread->frame();
  if (kind == 't' && frame.waiting) {
    // The sleep of an earlier run of this instruction.
    if (!sleep_over(machine, *thread, frame)) return false;
    frame.waiting = false;
    frame.wait_deadline = 0;
    script::release_stack_above(*thread, std::max(thread->sp - count, 1));
    return true;
  }

  const std::vector<script::Value> arguments = control_arguments(*thread, count);
  if (kind == 'd') {
    std::string value;
    if (!arguments.empty()) {
      const script::Value& argument = arguments[0];
      if (argument.type == script::ValueType::Int) {
        value = std::to_string(argument.integer);
      } else if (argument.type == script::ValueType::Float) {
        char digits[64];
        std::snprintf(digits, sizeof digits, "%f", double(argument.real));
        value = digits;
      } else {
        value = std::string(text_of(argument));
      }
    }
    append_message_text(text.message, text.renderer.codec.lead_bytes, value);
  } else {
    const std::string command = command_for(kind, code, arguments, text.message.in_quotation);
    const CommandResult result = execute_command(text, machine, command, CommandOrigin::ControlCode);
    if (result.sleep_ms > 0) {
      frame.waiting = true;
      frame.wait_deadline = script::as_deadline(int64_t(machine.clock.held) + result.sleep_ms);
      return false;
    }
  }
  script::release_stack_above(*thread, std::max(thread->sp - int32_t(arguments.size()), 1));
  raise_queued_events(text, machine);
  return true;
}

void raise_queued_events(State& text, script::Machine& machine) {
  std::vector<ScriptEvent> events = std::move(text.events);
  text.events.clear();
  script::Thread* thread = machine.current;
  if (!thread) return;
  for (const ScriptEvent& event : events) {
    // The last value goes deepest, so the first is the handler's argument 1.
    for (auto value = event.values.rbegin(); value != event.values.rend(); ++value) {
      if (const int32_t* number = std::get_if<int32_t>(&*value)) {
        script::push_value(*thread, script::make_int(*number));
      } else {
        script::push_value(*thread, script::make_string(std::get<std::string>(*value)));
      }
    }
    script::raise_event(machine, event.key, int(event.values.size()), false);
    if (machine.stopping()) return;
  }
}

}  // namespace tavelo::text
