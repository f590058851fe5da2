// The message window's layout step (one line per run of the message
// instruction) and the replay of history pages through it.

#include <algorithm>

#include "script/error_report.h"
#include "text/message_window.h"
#include "text/reading.h"
#include "text/state.h"

namespace tavelo::text {
namespace {

// Quote markers: "「（" and "「『" open a quotation whose brackets are not
// shown, "）」" and "』」" close one, a doubled bracket opens or closes
// without being shown twice.
enum MarkerFlag : uint32_t {
  kQuoteOpened = 1,
  kQuoteClosed = 2,
  kParenthesesQuote = 4,
};

// Byte offset of the first occurrence of needle that starts on a character
// boundary, or npos.
size_t find_character(const resources::LeadByteTable& lead, std::string_view text, std::string_view needle) {
  if (needle.empty()) return std::string_view::npos;
  for (size_t i = 0; i < text.size(); i += resources::character_length(lead, text, i)) {
    if (text.compare(i, needle.size(), needle) == 0) return i;
  }
  return std::string_view::npos;
}

bool contains(const resources::LeadByteTable& lead, std::string_view text, std::string_view needle) {
  return find_character(lead, text, needle) != std::string_view::npos;
}

// Replaces the first occurrence of pattern; true when there was one.
bool replace_first(const resources::LeadByteTable& lead, std::string& text, std::string_view pattern,
                   std::string_view replacement) {
  const size_t at = find_character(lead, text, pattern);
  if (at == std::string::npos) return false;
  text.replace(at, pattern.size(), replacement);
  return true;
}

uint32_t apply_quote_markers(const resources::LeadByteTable& lead, std::string& text, const Punctuation& marks,
                             bool replaying) {
  uint32_t flags = 0;
  const std::string& open = marks.open_quote;
  const std::string& close = marks.close_quote;
  if (replace_first(lead, text, open + marks.open_paren, marks.open_paren)) flags |= kQuoteOpened | kParenthesesQuote;
  if (replace_first(lead, text, open + marks.open_double, marks.open_double)) flags |= kQuoteOpened | kParenthesesQuote;
  if (replace_first(lead, text, marks.close_paren + close, marks.close_paren)) flags |= kQuoteClosed | kParenthesesQuote;
  if (replace_first(lead, text, marks.close_double + close, marks.close_double)) flags |= kQuoteClosed | kParenthesesQuote;
  if (replace_first(lead, text, open + open, replaying ? marks.replay_marker : open)) flags |= kQuoteOpened;
  if (replace_first(lead, text, close + close, {})) flags |= kQuoteClosed;
  return flags;
}

void replace_bars(const resources::LeadByteTable& lead, std::string& text) {
  for (size_t i = 0; i < text.size(); i += resources::character_length(lead, text, i)) {
    if (text[i] == '|') text[i] = ' ';
  }
}

// With SPACEINDENT, continuation lines of a quotation start at the indent;
// spaces the text brings there would push them further.
void strip_leading_spaces(std::string& text, const Punctuation& marks) {
  auto strip = [&text](std::string_view space) {
    size_t at = 0;
    while (text.compare(at, space.size(), space) == 0) at += space.size();
    text.erase(0, at);
  };
  strip(marks.wide_space);
  strip(" ");
  strip(marks.wide_space);
}

constexpr size_t kCaptionLimit = kPendingTextLimit;

// A quotation ends with the line the pen is on.
int32_t quotation_height(const FontRecord& console, const QuotationRecord& record) {
  return wrapping_add(wrapping_add(console.y, console.pitch), -record.top);
}

StepOutcome run_again(State& text, uint32_t key, std::vector<EventValue> values = {}) {
  text.events.push_back({key, std::move(values)});
  return StepOutcome::RunAgain;
}

}  // namespace

StepResult lay_out_step(State& text, script::Machine& machine, const Canvas& canvas, const uint8_t* position) {
  MessageState& message = text.message;
  FontRecord& console = message.console;
  const Punctuation& marks = message.options.punctuation;
  const resources::LeadByteTable& lead = text.renderer.codec.lead_bytes;
  const bool replaying = message.replay != ReplayMode::Off;
  StepResult result;

  if (message.pending.empty()) return result;
  if (!replaying && position != message.last_logged) {
    if (message.history_suspension == 0) append_history_text(text.history, message.pending);
    message.last_logged = position;
  }
  if (!message.open && !replaying) {
    message.open = true;
    result.outcome = run_again(text, kEventWindowOpen, {0, 0});
    return result;
  }

  std::string& pending = message.pending;
  replace_bars(lead, pending);
  if (contains(lead, pending, marks.open_quote)) message.in_quotation = true;
  if (contains(lead, pending, marks.close_quote)) message.in_quotation = false;

  if (message.options.name_popup) {
    const size_t bracket = find_character(lead, pending, marks.open_quote);
    if (bracket != std::string::npos && bracket > 0) {
      std::string name = pending.substr(0, bracket);
      pending.erase(0, bracket);
      note_speaker(text, name);
      result.outcome = run_again(text, kEventSpeakerName, {std::move(name)});
      return result;
    }
  }

  const uint32_t flags = apply_quote_markers(lead, pending, marks, replaying);
  const graphics::Rect frame = console.frame;
  const bool instant = instant_skipping(machine);
  // A window lower than one line overflows even at its top; the pen going
  // back there would change nothing, so the line is drawn (and cut) instead.
  if (console.y > frame.y && int64_t(console.y) > int64_t(frame.y) + frame.height - console.height) {
    if (!instant) script::report_script_error(machine, "message : ページからはみ出しました");
    console.x = frame.x;
    console.y = frame.y;
    console.indent = 0;
    result.outcome = run_again(text, kEventPageCleared);
    return result;
  }
  if (instant) pending.clear();

  if (!pending.empty() && message.options.rules.space_indent && console.indent != 0 &&
      console.x == wrapping_add(frame.x, console.indent)) {
    strip_leading_spaces(pending, marks);
  }

  const DrawSettings settings = draw_settings_for(console, machine);
  std::vector<int32_t> advances;
  measure_text(text.renderer, console, pending, settings, &advances, AdvanceRule::LineBreaking);
  LineRequest request;
  request.text = pending;
  request.advances = advances;
  request.available = int32_t(std::clamp<int64_t>(int64_t(frame.x) + frame.width - console.x, INT32_MIN, INT32_MAX));
  request.font_width = console.width;
  request.parentheses_quote = (flags & kParenthesesQuote) != 0;
  request.at_line_start = int64_t(console.x) <= int64_t(frame.x) + console.indent;
  const bool alphabetic = text.renderer.layout == TextLayout::Alphabetic;
  if (alphabetic) request.hyphen_advance = measure_text(text.renderer, console, "-", settings);
  const LineBreak line_break =
      alphabetic ? break_line_alphabetic(request, message.options.rules, message.options.kinsoku, marks, text.renderer.codec)
                 : break_line(request, message.options.rules, message.options.kinsoku, marks, lead);
  if (line_break.indent) console.indent = *line_break.indent;

  if (line_break.length == 0) {
    // Only the spaces before a break fit: they go, and at the line start
    // nothing else changes.
    note_text(text, std::string_view(pending).substr(0, line_break.consumed));
    pending.erase(0, line_break.consumed);
    if (line_break.consumed > 0 && request.at_line_start) {
      result.outcome = StepOutcome::RunAgain;
      return result;
    }
    console.x = wrapping_add(frame.x, console.indent);
    console.y = wrapping_add(console.y, console.pitch);
    message.page_start = false;
    result.outcome = StepOutcome::RunAgain;
    if (instant) text.events.push_back({kEventLineDropped, {}});
    return result;
  }

  std::string line = pending.substr(0, line_break.length);
  const size_t consumed = std::max(line_break.consumed, line_break.length);
  note_text(text, std::string_view(pending).substr(0, consumed));
  pending.erase(0, consumed);
  if (message.page_start && message.history_suspension == 0 && message.caption.size() < kCaptionLimit) {
    message.caption += resources::cut_game_text(lead, line, kCaptionLimit - message.caption.size());
  }
  if ((contains(lead, line, marks.open_quote) || (flags & kQuoteOpened)) && message.quotation_count < kQuotationLimit) {
    // Only quotations whose voice the replay announced are counted.
    QuotationRecord& record = message.quotations[message.quotation_count];
    if (!record.voice.empty()) {
      record.top = console.y;
      record.height = 0;
      record.open = true;
      ++message.quotation_count;
    }
  }

  if (line_break.hyphenated) line += '-';
  graphics::Rect drawn;
  int32_t advance = 0;
  if (canvas.page) {
    const DrawResult draw = draw_text(text.renderer, console, *canvas.page, canvas.alpha, line, settings);
    advance = draw.advance;
    drawn = draw.out_rect;
    result.changed = draw.changed_rect;
  } else {
    advance = measure_text(text.renderer, console, line, settings);
    drawn = {console.x, console.y, advance, console.height};
  }

  if ((contains(lead, line, marks.close_quote) || (flags & kQuoteClosed)) && message.quotation_count > 0) {
    QuotationRecord& record = message.quotations[message.quotation_count - 1];
    record.open = false;
    if (record.height == 0) record.height = quotation_height(console, record);
  }

  if (!pending.empty()) {
    if (console.extra != 0) drawn.width = int32_t(int64_t(frame.x) + frame.width - console.x + 1);
    console.x = wrapping_add(frame.x, console.indent);
    console.y = wrapping_add(console.y, console.pitch);
    message.page_start = false;
  } else {
    console.x = wrapping_add(console.x, advance);
  }
  result.outcome = run_again(text, kEventLineDrawn,
                             {console.page, drawn.x, drawn.y, drawn.width, drawn.height, console.no_wait ? 1 : 0});
  return result;
}

namespace {

void record_replayed_voice(MessageState& message, std::string_view command) {
  if (message.quotation_count >= kQuotationLimit) return;
  const std::string_view name = command.size() > 2 ? command.substr(2) : std::string_view{};
  QuotationRecord* record = nullptr;
  if (message.quotation_count > 0 && message.quotations[message.quotation_count - 1].open) {
    record = &message.quotations[message.quotation_count - 1];
  } else {
    record = &message.quotations[message.quotation_count];
  }
  auto put = [](std::string& field, std::string_view text) {
    field += text;
    if (field.size() > kVoiceNameLimit) field.resize(kVoiceNameLimit);
  };
  if (record->voice.empty()) {
    put(record->voice, name);
  } else if (record->voice2.empty()) {
    put(record->voice2, name);
  } else {
    put(record->voice2, ",");
    put(record->voice2, name);
  }
}

ReplayResult end_replay(State& text, int32_t thread_id) {
  MessageState& message = text.message;
  FontRecord& console = message.console;
  if (message.quotation_count > 0) {
    QuotationRecord& record = message.quotations[message.quotation_count - 1];
    if (record.height == 0) record.height = quotation_height(console, record);
  }
  message.replay_cursors.erase(thread_id);
  console.no_wait = false;
  message.replay = ReplayMode::Off;
  return {};
}

}  // namespace

ReplayResult replay_history_step(State& text, script::Machine& machine, const Canvas& canvas, int32_t thread_id,
                                 int32_t offset) {
  MessageState& message = text.message;
  ReplayResult result;
  if (!message.pending.empty()) {
    const StepResult step = lay_out_step(text, machine, canvas, nullptr);
    result.changed = step.changed;
    if (step.outcome == StepOutcome::RunAgain) {
      result.outcome = StepOutcome::RunAgain;
      return result;
    }
  }

  auto cursor = message.replay_cursors.find(thread_id);
  const bool first = cursor == message.replay_cursors.end();
  if (first) {
    message.replay = ReplayMode::Page;
    message.page_wait_seen = false;
    ReplayCursor start{offset, message.boundaries};
    if (offset == -1) {
      message.replay = ReplayMode::NewestPage;
      start.boundaries = PageBoundaries::ClearsOnly;
      start.offset = previous_page_start(text.history, kHistorySize, PageBoundaries::ClearsOnly);
    }
    cursor = message.replay_cursors.emplace(thread_id, start).first;
  }
  ReplayCursor& at = cursor->second;
  result.outcome = StepOutcome::RunAgain;
  for (;;) {
    if (at.offset >= kHistorySize) return end_replay(text, thread_id);
    const std::optional<HistoryEntry> entry = history_entry_at(text.history, at.offset);
    if (!entry) return end_replay(text, thread_id);
    const std::string_view body = entry->body;
    if (entry->kind == EntryKind::Text) {
      at.offset += entry->size;
      message.pending.clear();
      append_message_text(message, text.renderer.codec.lead_bytes, body);
      if (first) execute_command(text, machine, "w", CommandOrigin::History);
      return result;
    }
    if (is_command(*entry, "p")) {
      message.page_wait_seen = true;
      at.offset += entry->size;
      return result;
    }
    if (!body.empty() && body[0] == 'c') {  // colours are not replayed
      at.offset += entry->size;
      continue;
    }
    if (!body.empty() && body[0] == 'v') {
      record_replayed_voice(message, body);
      at.offset += entry->size;
      if (message.console.no_wait) continue;
      execute_command(text, machine, body, CommandOrigin::History);
      return result;
    }
    if (is_command(*entry, "w") && !first) return end_replay(text, thread_id);
    if (at.boundaries == PageBoundaries::Default && is_command(*entry, "n")) {
      if (first) {
        at.offset += entry->size;
        execute_command(text, machine, "w", CommandOrigin::History);
        return result;
      }
      if (message.page_wait_seen) return end_replay(text, thread_id);
    }
    at.offset += entry->size;
    result.sleep_ms = execute_command(text, machine, body, CommandOrigin::History).sleep_ms;
    if (first && !is_command(*entry, "w")) execute_command(text, machine, "w", CommandOrigin::History);
    return result;
  }
}

}  // namespace tavelo::text
