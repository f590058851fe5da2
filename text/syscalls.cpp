// Text system calls and the message hooks. Pages are looked up here in the
// graphics pages and handed to the renderer and the window as records; what
// was drawn is marked changed here too. Calls whose console
// command raises script events are control calls: they finish their own
// result first, then raise, so the handlers run on an orderly stack.

#include "text/syscalls.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "graphics/change_marks.h"
#include "graphics/page.h"
#include "graphics/page_table.h"
#include "graphics/state.h"
#include "host/engine_parts.h"
#include "platform/file_system.h"
#include "resources/file_lookup.h"
#include "resources/settings.h"
#include "resources/state.h"
#include "script/error_report.h"
#include "script/interpreter.h"
#include "script/machine.h"
#include "script/read_marks.h"
#include "script/state.h"
#include "script/thread.h"
#include "script/waits.h"
#include "text/setup.h"
#include "text/state.h"

namespace tavelo::text {
namespace {

using script::CallArgs;
using script::CallStatus;
using script::SyscallEntry;
using script::SyscallFlags;

int32_t display_page(host::Engine& engine) { return host::graphics_of(engine).screen.display_page; }

Canvas canvas_of(host::Engine& engine, int32_t handle) {
  graphics::State& pages = host::graphics_of(engine);
  graphics::Page* page = graphics::find_page(pages, handle);
  return {page, page ? graphics::find_alpha(pages, *page) : nullptr};
}

void mark_drawn(host::Engine& engine, int32_t handle, const Canvas& canvas, graphics::Rect changed) {
  if (changed.empty() || !canvas.page) return;
  graphics::State& pages = host::graphics_of(engine);
  graphics::mark_changed(pages, handle, changed);
  if (canvas.alpha) graphics::mark_changed(pages, canvas.page->alpha_page, changed);
}

// The window draws on the display page until console_set names another.
Canvas console_canvas(host::Engine& engine) {
  FontRecord& console = host::text_of(engine).message.console;
  if (console.page == 0) console.page = display_page(engine);
  return canvas_of(engine, console.page);
}

FontRecord& thread_font(host::Engine& engine, const CallArgs& args) {
  return current_font(host::text_of(engine).fonts, args.thread.id, display_page(engine));
}

std::optional<int32_t> optional_int(const CallArgs& args, int index) {
  if (!args.has(index)) return std::nullopt;
  return args.int_at(index);
}

// A control call's end: its result in place, then the window's events.
CallStatus done_raising(host::Engine& engine, CallArgs& args, int32_t result = 0) {
  args.return_int(result);
  script::finish_control_call(args.machine, args.first, !args.keep_result);
  raise_queued_events(host::text_of(engine), args.machine);
  return CallStatus::Done;
}

CallStatus run_command(host::Engine& engine, CallArgs& args, const std::string& command) {
  execute_command(host::text_of(engine), args.machine, command, CommandOrigin::SystemCall);
  return done_raising(engine, args);
}

// ---- fonts

CallStatus sys_fontout_antialias(host::Engine& engine, CallArgs& args) {
  host::text_of(engine).renderer.antialias_mode = args.int_at(1);
  return args.done();
}

CallStatus sys_fontcache_open(host::Engine& engine, CallArgs& args) {
  State& text = host::text_of(engine);
  const std::string_view face = args.text_at(1);
  const int32_t height = args.int_at(2), width = args.int_at(3);
  resources::State& resources = args.machine.resources;
  std::string path = face.empty() ? std::string() : glyph_cache_path(text, resources, face, height, width);
  (void)open_font_cache(text.renderer, face, height, width, std::move(path), cache_writes(resources));
  return args.done();
}

CallStatus sys_load_font(host::Engine& engine, CallArgs& args) {
  script::Machine& machine = args.machine;
  const std::string name(args.text_at(1));
  std::optional<platform::File> file = resources::find_game_file(machine.resources, name);
  if (!file) file = resources::find_game_file(machine.resources, "font\\" + name);
  if (!file) {
    script::report_script_error(machine, "load_font: ファイル[%s]が存在しません", {name});
    return args.done();
  }
  std::vector<uint8_t> bytes(size_t(file->length()));
  bytes.resize(file->read(bytes));
  if (!add_private_font(host::text_of(engine).renderer, std::move(bytes))) {
    script::report_script_error(machine, "load_font: ファイル[%s]はフォントとして読めません", {name});
  }
  return args.done();
}

CallStatus sys_font_push(host::Engine& engine, CallArgs& args) {
  push_font(host::text_of(engine).fonts, args.thread.id, display_page(engine));
  return args.done();
}

CallStatus sys_font_pop(host::Engine& engine, CallArgs& args) {
  pop_font(host::text_of(engine).fonts, args.thread.id);
  return args.done();
}

CallStatus sys_fontout_locate(host::Engine& engine, CallArgs& args) {
  FontRecord& record = thread_font(engine, args);
  record.page = args.int_at(1);
  if (!graphics::find_page(host::graphics_of(engine), record.page)) {
    script::report_script_error(args.machine, "fontout_locate: 出力先ページが存在しません");
    record.page = display_page(engine);
  }
  record.x = args.int_at(2);
  record.y = args.int_at(3);
  return args.done();
}

CallStatus sys_fontout_color(host::Engine& engine, CallArgs& args) {
  FontRecord& record = thread_font(engine, args);
  record.colour = uint32_t(args.int_at(1));
  // One argument turns effects off.
  record.effect = args.has(2) ? uint32_t(args.int_at(2)) : 0xFFFFFFFFu;
  return args.done();
}

CallStatus sys_fontout_font(host::Engine& engine, CallArgs& args) {
  State& text = host::text_of(engine);
  FontRecord& record = thread_font(engine, args);
  const FontChoice choice{args.text_at(1), optional_int(args, 2), optional_int(args, 3), optional_int(args, 4),
                          optional_int(args, 5)};
  choose_font(text.renderer, record, choice, draw_settings_for(record, args.machine));
  return args.done();
}

CallStatus sys_fontout(host::Engine& engine, CallArgs& args) {
  State& text = host::text_of(engine);
  FontRecord& record = thread_font(engine, args);
  const Canvas canvas = canvas_of(engine, record.page);
  if (!canvas.page) {
    script::report_script_error(args.machine, "fontout: 出力先ページが存在しません");
    return args.done();
  }
  const std::string_view string = args.text_at(1);
  const DrawSettings settings = draw_settings_for(record, args.machine);
  const int32_t saved_y = record.y;
  if (args.count >= 3) {
    const int32_t text_width = measure_text(text.renderer, record, string, settings);
    const int32_t box_width = args.int_at(2), box_height = args.int_at(3);
    const int32_t align = args.has(4) ? args.int_at(4) : 0;
    const int32_t spare = int32_t(int64_t(box_width) - text_width);
    if (align == -2) {
      record.x = wrapping_add(record.x, spare);
    } else if (align != -1) {
      record.x = wrapping_add(record.x, spare / 2);
    }
    record.y = wrapping_add(record.y, int32_t((int64_t(box_height) - record.height) / 2));
  }
  const DrawResult drawn = draw_text(text.renderer, record, *canvas.page, canvas.alpha, string, settings);
  mark_drawn(engine, record.page, canvas, drawn.changed_rect);
  record.x = wrapping_add(record.x, drawn.advance);
  if (args.count >= 3) record.y = saved_y;
  return args.done();
}

// ---- the message window

MessageState& message_of(host::Engine& engine) { return host::text_of(engine).message; }

CallStatus sys_console_set(host::Engine& engine, CallArgs& args) {
  FontRecord& console = message_of(engine).console;
  console.page = args.int_at(1);
  if (!graphics::find_page(host::graphics_of(engine), console.page)) {
    script::report_call_error(args, "ページが存在しません");
    console.page = display_page(engine);
  }
  console.frame = {args.int_at(2), args.int_at(3), args.int_at(4), args.int_at(5)};
  console.x = console.frame.x;
  console.y = console.frame.y;
  return args.done();
}

CallStatus sys_console_color(host::Engine& engine, CallArgs& args) {
  return run_command(engine, args, make_command('c', {args.int_at(1), args.has(2) ? args.int_at(2) : -1}));
}

CallStatus sys_console_font(host::Engine& engine, CallArgs& args) {
  const int32_t height = args.has(2) ? args.int_at(2) : 20;
  auto or_default = [&args](int index) { return args.has(index) ? args.int_at(index) : -1; };
  return run_command(engine, args,
                     make_command('f', {height, or_default(3), or_default(4), or_default(5)}, args.text_at(1)));
}

CallStatus sys_console_locate(host::Engine& engine, CallArgs& args) {
  return run_command(engine, args, make_command('l', {args.int_at(1), args.int_at(2)}));
}

CallStatus sys_console_moveto(host::Engine& engine, CallArgs& args) {
  FontRecord& console = message_of(engine).console;
  console.x = args.int_at(1);
  console.y = args.int_at(2);
  return args.done();
}

CallStatus sys_console_clear(host::Engine& engine, CallArgs& args) { return run_command(engine, args, "w"); }

CallStatus open_or_close(host::Engine& engine, CallArgs& args, bool opening) {
  State& text = host::text_of(engine);
  MessageState& message = text.message;
  if (message.open != opening && message.replay == ReplayMode::Off) {
    text.events.push_back({opening ? kEventWindowOpen : kEventWindowClose, {args.int_at(1), args.int_at(2)}});
    message.open = opening;
  }
  return done_raising(engine, args);
}

CallStatus sys_console_open(host::Engine& engine, CallArgs& args) { return open_or_close(engine, args, true); }
CallStatus sys_console_close(host::Engine& engine, CallArgs& args) { return open_or_close(engine, args, false); }

CallStatus sys_console_is_open(host::Engine& engine, CallArgs& args) { return args.done(message_of(engine).open ? 1 : 0); }

CallStatus sys_console_x(host::Engine& engine, CallArgs& args) {
  const FontRecord& console = message_of(engine).console;
  return args.done(wrapping_add(console.x, -console.frame.x));
}

CallStatus sys_console_y(host::Engine& engine, CallArgs& args) {
  const FontRecord& console = message_of(engine).console;
  return args.done(wrapping_add(console.y, -console.frame.y));
}

CallStatus sys_console_pen_x(host::Engine& engine, CallArgs& args) { return args.done(message_of(engine).console.x); }
CallStatus sys_console_pen_y(host::Engine& engine, CallArgs& args) { return args.done(message_of(engine).console.y); }
CallStatus sys_console_font_height(host::Engine& engine, CallArgs& args) {
  return args.done(message_of(engine).console.height);
}

template <bool kOn>
CallStatus sys_console_nowait(host::Engine& engine, CallArgs& args) {
  message_of(engine).console.no_wait = kOn;
  return args.done();
}

CallStatus sys_console_suppress_newline(host::Engine& engine, CallArgs& args) {
  message_of(engine).suppress_newline = true;
  return args.done();
}

CallStatus sys_console_log_suspend(host::Engine& engine, CallArgs& args) {
  ++message_of(engine).history_suspension;
  return args.done();
}

CallStatus sys_console_log_resume(host::Engine& engine, CallArgs& args) {
  // An unmatched resume must not leave the history suspended for good.
  int32_t& suspension = message_of(engine).history_suspension;
  if (suspension > 0) --suspension;
  return args.done();
}

CallStatus sys_console_caption(host::Engine& engine, CallArgs& args) { return args.done_text(message_of(engine).caption); }

CallStatus sys_console_quote_count(host::Engine& engine, CallArgs& args) {
  return args.done(int32_t(message_of(engine).quotation_count));
}

const QuotationRecord* quotation_at(host::Engine& engine, const CallArgs& args) {
  const int32_t index = args.int_at(1);
  if (index < 0 || size_t(index) >= kQuotationLimit) return nullptr;
  return &message_of(engine).quotations[size_t(index)];
}

CallStatus sys_console_quote_voice(host::Engine& engine, CallArgs& args) {
  const QuotationRecord* record = quotation_at(engine, args);
  return args.done_text(record ? std::string_view(record->voice) : std::string_view{});
}

CallStatus sys_console_quote_voice2(host::Engine& engine, CallArgs& args) {
  const QuotationRecord* record = quotation_at(engine, args);
  return args.done_text(record ? std::string_view(record->voice2) : std::string_view{});
}

CallStatus sys_console_quote_top(host::Engine& engine, CallArgs& args) {
  const QuotationRecord* record = quotation_at(engine, args);
  return args.done(record ? record->top : 0);
}

CallStatus sys_console_quote_height(host::Engine& engine, CallArgs& args) {
  const QuotationRecord* record = quotation_at(engine, args);
  return args.done(record ? record->height : 0);
}

CallStatus sys_voice_next_male(host::Engine& engine, CallArgs& args) {
  message_of(engine).next_voice_male = true;
  return args.done();
}

CallStatus sys_voice_next_skip(host::Engine& engine, CallArgs& args) {
  message_of(engine).next_voice_skip = true;
  return args.done();
}

CallStatus sys_console_text_speed(host::Engine& engine, CallArgs& args) {
  const int32_t delay = message_of(engine).console.character_delay;
  if (delay != -1) return args.done(delay);
  return args.done(resources::read_user_setting(args.machine.resources, resources::UserSetting::MojiSpeed));
}

CallStatus sys_console_auto_speed(host::Engine&, CallArgs& args) {
  return args.done(resources::read_user_setting(args.machine.resources, resources::UserSetting::AutoSpeed));
}

// ---- the text history

// Offset -1 stands for the end of the buffer.
int32_t history_offset(const CallArgs& args, int index) {
  const int32_t offset = args.int_at(index);
  return offset == -1 ? kHistorySize : offset;
}

CallStatus replay(host::Engine& engine, CallArgs& args, bool no_wait) {
  State& text = host::text_of(engine);
  script::Machine& machine = args.machine;
  script::Frame& frame = args.thread.frame();
  if (frame.waiting) {
    // A `t` of the page: its sleep first.
    const bool skipping = args.thread.id == 0 && script::is_skipping(machine);
    if (!skipping && !script::deadline_reached(machine.clock.held, frame.wait_deadline)) return CallStatus::Again;
    script::end_wait(args);
  }
  if (no_wait) text.message.console.no_wait = true;
  const Canvas canvas = console_canvas(engine);
  const ReplayResult step = replay_history_step(text, machine, canvas, args.thread.id, args.int_at(1));
  mark_drawn(engine, text.message.console.page, canvas, step.changed);
  if (step.sleep_ms > 0) {
    frame.waiting = true;
    frame.wait_deadline = script::as_deadline(int64_t(machine.clock.held) + step.sleep_ms);
  }
  if (step.outcome == StepOutcome::RunAgain) {
    raise_queued_events(text, machine);
    return CallStatus::Again;
  }
  return done_raising(engine, args);
}

CallStatus sys_history_replay(host::Engine& engine, CallArgs& args) { return replay(engine, args, false); }
CallStatus sys_history_replay_nowait(host::Engine& engine, CallArgs& args) { return replay(engine, args, true); }

CallStatus count_pages(host::Engine& engine, CallArgs& args, PageBoundaries boundaries) {
  State& text = host::text_of(engine);
  text.message.boundaries = boundaries;
  return args.done(count_history_pages(text.history, boundaries));
}

CallStatus sys_history_count_clears(host::Engine& engine, CallArgs& args) {
  return count_pages(engine, args, PageBoundaries::ClearsOnly);
}
CallStatus sys_history_count_pages(host::Engine& engine, CallArgs& args) {
  return count_pages(engine, args, PageBoundaries::Default);
}

CallStatus sys_history_page_offset(host::Engine& engine, CallArgs& args) {
  State& text = host::text_of(engine);
  return args.done(history_page_offset(text.history, args.int_at(1), text.message.boundaries));
}

template <bool kForward, PageBoundaries kBoundaries>
CallStatus sys_history_step(host::Engine& engine, CallArgs& args) {
  State& text = host::text_of(engine);
  text.message.boundaries = kBoundaries;
  const int32_t offset = history_offset(args, 1);
  return args.done(kForward ? next_page_start(text.history, offset, kBoundaries)
                            : previous_page_start(text.history, offset, kBoundaries));
}

constexpr SyscallFlags kNone = SyscallFlags::None;
constexpr SyscallFlags kControl = SyscallFlags::Control;

constexpr std::array kFontSyscalls = {
    SyscallEntry{0x7D8B2C41, "fontout_antialias", sys_fontout_antialias, kNone,
                 "int mode -> int 0; 0 off, 2 off while skipping, anything else on"},
    SyscallEntry{0x098399F2, "fontcache_open", sys_fontcache_open, kNone,
                 "str face, int height, int width -> int 0; the glyph cache for that font; an empty face only closes"},
    SyscallEntry{0x877445CE, "load_font", sys_load_font, kNone,
                 "str file -> int 0; registers a font file of the game (also looked for under font\\)"},
    SyscallEntry{0xB75C3B5F, "font_push", sys_font_push, kNone,
                 "-> int 0; a fresh font record on the thread's font stack"},
    SyscallEntry{0x9A661709, "font_pop", sys_font_pop, kNone, "-> int 0"},
    SyscallEntry{0x57F6310D, "fontout_locate", sys_fontout_locate, kNone, "int page, int x, int y -> int 0"},
    SyscallEntry{0x90816C6E, "fontout_color", sys_fontout_color, kNone,
                 "int colour [, int effect = -1] -> int 0; -1: no effect"},
    SyscallEntry{0xE186D19A, "fontout_font", sys_fontout_font, kNone,
                 "str face [, int height = 20 [, int width = height/2 [, "
                 "int pitch = height*5/4 [, int extra = 0]]]] -> int 0"},
    SyscallEntry{0x35A89417, "fontout", sys_fontout, kNone,
                 "str text [, int box_width, int box_height [, int align]] -> int 0; draws at the pen"},
};

constexpr std::array kConsoleSyscalls = {
    SyscallEntry{0x403960F8, "console_set", sys_console_set, kNone,
                 "int page, int left, int top, int width, int height -> int 0; the message window"},
    SyscallEntry{0x5FDCCCEE, "console_color", sys_console_color, kControl, "int colour [, int effect = -1] -> int 0"},
    SyscallEntry{0x06B3C8AC, "console_font", sys_console_font, kControl,
                 "str face [, int height = 20 [, int width = height/2 [, "
                 "int pitch = height*5/4 [, int extra = 0]]]] -> int 0"},
    SyscallEntry{0xBA81EF8D, "console_locate", sys_console_locate, kControl, "int x, int y -> int 0"},
    SyscallEntry{0xF1F8A206, "console_moveto", sys_console_moveto, kNone,
                 "int x, int y -> int 0; not kept in the history"},
    SyscallEntry{0xB5A1E3C9, "console_clear", sys_console_clear, kControl, "-> int 0; starts a new page"},
    SyscallEntry{0xA2743878, "console_open", sys_console_open, kControl,
                 "[int value1 = 0 [, int value2 = 0]] -> int 0; raises the window-open event with the values"},
    SyscallEntry{0x979D1F16, "console_close", sys_console_close, kControl,
                 "[int value1 = 0 [, int value2 = 0]] -> int 0; raises the window-close event with the values"},
    SyscallEntry{0x5B87A41D, "console_is_open", sys_console_is_open, kNone, "-> int 1 while the window is open"},
    SyscallEntry{0x5131E234, "console_x", sys_console_x, kNone, "-> int pen x - left"},
    SyscallEntry{0xCC3E0342, "console_y", sys_console_y, kNone, "-> int pen y - top"},
    SyscallEntry{0x0E42730D, "console_pen_x", sys_console_pen_x, kNone, "-> int pen x"},
    SyscallEntry{0x934D927B, "console_pen_y", sys_console_pen_y, kNone, "-> int pen y"},
    SyscallEntry{0x82FD765B, "console_font_height", sys_console_font_height, kNone, "-> int the window font's height"},
    SyscallEntry{0x30FA2A29, "console_nowait_on", sys_console_nowait<true>, kNone, "-> int 0; text appears at once"},
    SyscallEntry{0x5C9ED743, "console_nowait_off", sys_console_nowait<false>, kNone, "-> int 0"},
    SyscallEntry{0x0542E1B7, "console_suppress_newline", sys_console_suppress_newline, kNone,
                 "-> int 0; the next line break at the window origin is dropped"},
    SyscallEntry{0xD4066E31, "console_log_suspend", sys_console_log_suspend, kNone,
                 "-> int 0; text stays out of the history until console_log_resume"},
    SyscallEntry{0x4133D7A9, "console_log_resume", sys_console_log_resume, kNone, "-> int 0"},
    SyscallEntry{0x05EA6E4D, "console_caption", sys_console_caption, kNone, "-> str the page's opening words"},
    SyscallEntry{0xB0CE081A, "console_quote_count", sys_console_quote_count, kNone,
                 "-> int the number of quotations on the page"},
    SyscallEntry{0x25D92502, "console_quote_voice", sys_console_quote_voice, kNone,
                 "int index -> str the quotation's voice file"},
    SyscallEntry{0xBBF35806, "console_quote_voice2", sys_console_quote_voice2, kNone,
                 "int index -> str the quotation's second voice file"},
    SyscallEntry{0x507F22C6, "console_quote_top", sys_console_quote_top, kNone,
                 "int index -> int the quotation's top y"},
    SyscallEntry{0x824D124F, "console_quote_height", sys_console_quote_height, kNone,
                 "int index -> int the quotation's height"},
    SyscallEntry{0xDF9F7749, "voice_next_male", sys_voice_next_male, kNone,
                 "-> int 0; the next voice follows the male voices' switch"},
    SyscallEntry{0xACCF4004, "voice_next_skip", sys_voice_next_skip, kNone, "-> int 0; the next voice is not played"},
    SyscallEntry{0xE5C70196, "console_text_speed", sys_console_text_speed, kNone,
                 "-> int the character delay, or MojiSpeed when none is set"},
    SyscallEntry{0xEE154520, "console_auto_speed", sys_console_auto_speed, kNone, "-> int AutoSpeed"},
};

constexpr std::array kHistorySyscalls = {
    SyscallEntry{0x59180BBB, "history_replay", sys_history_replay, kControl,
                 "int offset -> int 0; replays the page at offset; waits while it replays"},
    SyscallEntry{0x307F28BC, "history_replay_nowait", sys_history_replay_nowait, kControl,
                 "int offset -> int 0; replays the page at offset at once"},
    SyscallEntry{0x88B4B26C, "history_count_clears", sys_history_count_clears, kNone,
                 "-> int the number of pages, counted between clears"},
    SyscallEntry{0x3F401BBD, "history_count_pages", sys_history_count_pages, kNone, "-> int the number of pages"},
    SyscallEntry{0x2CB1BC41, "history_page_offset", sys_history_page_offset, kNone,
                 "int n -> int the offset of the n-th newest page (1: the newest)"},
    SyscallEntry{0x6621F84D, "history_prev_page", sys_history_step<false, PageBoundaries::Default>, kNone,
                 "int offset -> int the page start before offset, or offset"},
    SyscallEntry{0x0C6D0129, "history_prev_clear", sys_history_step<false, PageBoundaries::ClearsOnly>, kNone,
                 "int offset -> int the clear before offset, or offset"},
    SyscallEntry{0x728876A3, "history_next_page", sys_history_step<true, PageBoundaries::Default>, kNone,
                 "int offset -> int the page start after offset, or offset"},
    SyscallEntry{0x6E080825, "history_next_clear", sys_history_step<true, PageBoundaries::ClearsOnly>, kNone,
                 "int offset -> int the clear after offset, or offset"},
};

}  // namespace

std::span<const SyscallEntry> font_syscalls() { return kFontSyscalls; }
std::span<const SyscallEntry> console_syscalls() { return kConsoleSyscalls; }
std::span<const SyscallEntry> history_syscalls() { return kHistorySyscalls; }

void text_instruction(host::Engine& engine, std::string_view game_text) {
  State& text = host::text_of(engine);
  append_message_text(text.message, text.renderer.codec.lead_bytes, game_text);
}

bool control_instruction(host::Engine& engine, std::string_view code) {
  return run_control_code(host::text_of(engine), host::machine_of(engine), code);
}

bool message_instruction(host::Engine& engine) {
  State& text = host::text_of(engine);
  script::Machine& machine = host::machine_of(engine);
  const uint8_t* position = machine.current ? machine.current->frame().position : nullptr;
  const Canvas canvas = console_canvas(engine);
  const StepResult step = lay_out_step(text, machine, canvas, position);
  mark_drawn(engine, text.message.console.page, canvas, step.changed);
  raise_queued_events(text, machine);
  return step.outcome == StepOutcome::Finished;
}

}  // namespace tavelo::text
