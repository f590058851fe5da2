#pragma once
// The message window (the "console"): one process-wide font record that also
// carries the window frame and pen, the pending text that text instructions
// fill and the message instruction lays out one line at a time, the console
// commands that control codes and system calls run, the quotation records of
// the current page, and the replay of history pages. The layout raises script
// events (queued in State::events and raised by the caller once the stack is
// in order: raise_queued_events) and leaves revealing lines, waiting for
// clicks and showing speakers' names to the game's scripts.
//
// Callers: the machine's text hooks (installed by the host), the console and
// history system calls (text/syscalls.cpp), which resolve the window's page
// and mark what was drawn, and the host at start-up and reset.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "graphics/page.h"
#include "graphics/rect.h"
#include "text/font_record.h"
#include "text/history.h"
#include "text/line_breaking.h"
#include "text/renderer.h"

namespace tavelo::script {
struct Machine;
}

namespace tavelo::text {

struct State;

// Script events the window raises (name hashes).
inline constexpr uint32_t kEventWindowOpen = 0xF7A4C8D8;    // (a, b)
inline constexpr uint32_t kEventWindowClose = 0x0D9B7F0E;   // (a, b)
inline constexpr uint32_t kEventSpeakerName = 0x44A4FF72;   // (name)
inline constexpr uint32_t kEventPageCleared = 0x93B38A0B;   // ()
inline constexpr uint32_t kEventLineDrawn = 0x47BB540C;     // (page, x, y, width, height, no-wait)
inline constexpr uint32_t kEventLineDropped = 0x1A95282E;   // () instant skip dropped a line
inline constexpr uint32_t kEventLineBreak = 0x04AE36BD;     // ()
inline constexpr uint32_t kEventPageWait = 0x20CE505D;      // ()
inline constexpr uint32_t kEventCommandGroup = 0xD3CA70E5;  // (up to six numbers)
inline constexpr uint32_t kEventCommandText = 0xEC771B85;   // (text)

// Pending text is kept to this many bytes; longer text is cut on a
// character boundary.
inline constexpr size_t kPendingTextLimit = 1023;
inline constexpr size_t kQuotationLimit = 20;
// Voice names of a quotation record, in bytes.
inline constexpr size_t kVoiceNameLimit = 259;

using EventValue = std::variant<int32_t, std::string>;

struct ScriptEvent {
  uint32_t key = 0;
  std::vector<EventValue> values;  // in argument order: the first is the handler's argument 1
};

// A quotation of the current page: where its lines start and how tall they
// are, with the voices the history replay found for it.
struct QuotationRecord {
  int32_t top = 0;
  int32_t height = 0;
  bool open = false;
  std::string voice;
  std::string voice2;
};

enum class ReplayMode : int32_t { Off = 0, Page = 1, NewestPage = -1 };

// Where a thread's replay stands in the history, and which entries end its page.
struct ReplayCursor {
  int32_t offset = 0;
  PageBoundaries boundaries = PageBoundaries::Default;
};

// How an announced voice is gated by the player's voice switches.
enum class VoiceGate { Forced, Male, Female };

struct VoiceAnnouncement {
  std::string_view name;  // game text
  bool loop = false;
  VoiceGate gate = VoiceGate::Female;
  bool skip = false;  // voice_next_skip: nothing plays
};

// From the environment (KINSOKU_TYPE, SPACEINDENT, INDENTOFFSET, NAMEPOPUP,
// VOICESKIPDEF, GYOUTOUKINSOKU, GYOUMATUKINSOKU), set once at start-up.
struct MessageOptions {
  LineRules rules;
  bool name_popup = true;
  bool voice_skip_default = false;
  KinsokuTables kinsoku;
  Punctuation punctuation;
};

struct MessageState {
  FontRecord console;  // the window's font, frame (console.frame) and pen
  MessageOptions options;
  std::string pending;  // game text still to be laid out
  bool open = false;
  bool in_quotation = false;
  bool page_start = false;        // set by `w`, cleared by a line break
  bool suppress_newline = false;  // one-shot, for the next `n`
  int32_t history_suspension = 0;
  ReplayMode replay = ReplayMode::Off;
  int32_t saved_x = 0;  // pen saved by `o`
  int32_t saved_y = 0;
  const uint8_t* last_logged = nullptr;  // message instruction whose text went to the history
  std::string caption;                   // the page's opening words
  std::array<QuotationRecord, kQuotationLimit> quotations;
  size_t quotation_count = 0;
  bool next_voice_male = false;
  bool next_voice_skip = false;
  // History replay: the cursor of each replaying thread, and the page state.
  std::map<int32_t, ReplayCursor> replay_cursors;
  bool page_wait_seen = false;
  PageBoundaries boundaries = PageBoundaries::Default;  // the mode the last navigation call chose
};

// Where the window draws: the page and its alpha page, resolved by the caller.
// A null page (released since console_set) draws nothing.
struct Canvas {
  graphics::Page* page = nullptr;
  graphics::Page* alpha = nullptr;
};

enum class StepOutcome { Finished, RunAgain };

struct StepResult {
  StepOutcome outcome = StepOutcome::Finished;
  graphics::Rect changed;  // of the console's page (and its alpha page)
};

enum class CommandOrigin { ControlCode, SystemCall, VoiceCall, History };

struct CommandResult {
  int32_t sleep_ms = 0;  // `t`: the thread sleeps this long
};

// The game reset: window closed, pending text and quotations gone, the
// history emptied, the voice-skip state back to its default.
void reset_message_window(State& text);

// Text instruction: appends to the pending text, cut to kPendingTextLimit.
void append_message_text(MessageState& message, const resources::LeadByteTable& lead, std::string_view game_text);

// Control-code instruction: builds the console command from the code and
// the arguments on the current thread's stack (consuming them), runs it and
// raises its events. False while a `t` sleep lasts: the instruction runs
// again with its argument still on the stack.
bool run_control_code(State& text, script::Machine& machine, std::string_view code);

// A console command: the kind, each number as "0x" and eight hex digits,
// then the text (the face of `f`, the string of `x`).
std::string make_command(char kind, std::initializer_list<int32_t> numbers, std::string_view tail = {});

// Runs a console command (logged in the history unless it comes from there,
// a replay runs or the history is suspended). Events are queued.
CommandResult execute_command(State& text, script::Machine& machine, std::string_view command, CommandOrigin origin);

// Message instruction: one layout step. RunAgain when it raised an event (or
// moved to a new line) and the instruction must run again; position is the
// instruction's, so each instruction's text is logged once.
StepResult lay_out_step(State& text, script::Machine& machine, const Canvas& canvas, const uint8_t* position);

// One execution of history_replay for the calling thread. RunAgain until the
// page has been replayed; sleep_ms asks the caller to wait first (`t`).
struct ReplayResult {
  StepOutcome outcome = StepOutcome::Finished;
  graphics::Rect changed;
  int32_t sleep_ms = 0;
};
ReplayResult replay_history_step(State& text, script::Machine& machine, const Canvas& canvas, int32_t thread_id,
                                 int32_t offset);

// Raises the queued events on the current thread, in order, and empties the
// queue. Values go on the stack so that the first is the handler's argument 1.
void raise_queued_events(State& text, script::Machine& machine);

// Instant skip drops text unlaid: fast-forward while skipping is not suspended.
bool instant_skipping(const script::Machine& machine);
// What a draw depends on: whether a skip mode is on (anti-alias mode 2) and,
// for the decoration effect only, the player's FontShadow, Fuchidori and
// FontBold settings.
DrawSettings draw_settings_for(const FontRecord& record, script::Machine& machine);

}  // namespace tavelo::text
