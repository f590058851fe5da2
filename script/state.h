#pragma once
// The script machine: the virtual machine's own state (variable stores,
// threads, events, the script clock, the slice state, the system-call table,
// skip modes) and the lower layers it runs on (platform, text
// encoding, resources). One Machine per engine, created by host::Engine and
// passed by reference to every function of script/.
//
// The machine knows nothing of the subsystems above it. What it needs from
// them goes through HostHooks, which the host fills at start-up, and system-call
// handlers, which receive the engine the machine belongs to as an opaque
// reference (only the host and the subsystems' system-call files look inside).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "script/dispatch.h"
#include "script/loader.h"
#include "script/random.h"
#include "script/thread.h"
#include "script/variables.h"

namespace tavelo::host {
struct Engine;
}

namespace tavelo::platform {
class Platform;
class TextEncoding;
}  // namespace tavelo::platform

namespace tavelo::resources {
struct State;
}

namespace tavelo::script {

struct CodeBlock;

// Script time: real time + offset with speed factor 1; otherwise
// base + (real - base) * factor + offset, where base is the real time at
// which the factor took effect.
struct ScriptClock {
  double factor = 1.0;
  uint32_t base = 0;
  uint32_t offset = 0;
  uint32_t held = 0;  // the script time of the current cycle
};

// A resolved call target, cached by call instructions: the code field of the
// instruction holds index + 1 into Machine::call_targets.
struct CallTarget {
  const CodeBlock* code = nullptr;
  const uint8_t* position = nullptr;
  // A function that starts by checking its parameters (the usual case): the
  // declared types (inside the block) and their count, so that a call
  // settles the check without decoding it.
  const uint8_t* parameter_types = nullptr;
  uint16_t parameter_count = 0;
};

// Any non-zero slice state ends the running slice.
enum SliceState : int32_t {
  kSliceRunning = 0,
  kSliceYield = 1,
  kSliceGameLoaded = 2,     // stop the main loop: a saved game is to be loaded
  kSliceThreadEnded = 4,    // the thread's outermost function returned
  kSliceRestart = 5,        // stop the main loop: run the start script again
  kSlicePaused = 6,         // the loop stepped out to be entered again at once
                            // (the plain-switch form; interpreter_jump_table.h)
};

struct SkipState {
  bool skip_all = false;
  bool read_skip = false;
  bool automatic = false;
  bool fast_forward = false;
  int32_t suspension = 0;
  bool auto_permitted = false;
  bool current_line_read = false;
  std::string always_read;  // upper case, at most 511 bytes; a script named in it counts as read
  // FastModeFlg_AR: what skip mode 1 does (0 skip all, else read-skip).
  // Read from the registry on first use.
  std::optional<int32_t> fast_mode_read_only;
  bool fast_forward_permitted = false;  // first menu permission flag
  bool second_menu_permitted = false;   // second menu permission flag
};

// The instructions that reach outside the machine. The host fills these at
// start-up; an empty hook drops the text (a machine without a message window).
// They are cold: text instructions run once per line of story text.
struct HostHooks {
  // Text instruction: appends game text to the pending message.
  void (*append_text)(host::Engine& engine, std::string_view game_text) = nullptr;
  // Control-code instruction: runs an inline console command with its
  // arguments on the stack; false when the instruction must run again in the
  // thread's next slice (its arguments still on the stack).
  bool (*control_code)(host::Engine& engine, std::string_view code) = nullptr;
  // Message instruction: lays the pending text out; false when the
  // instruction must run again in the thread's next slice.
  bool (*lay_out_message)(host::Engine& engine) = nullptr;
  // Lets the window answer during long work inside an instruction (a
  // directory scan, say): drains pending platform events into input.
  void (*pump_events)(host::Engine& engine) = nullptr;
  // A thread is being freed: what the engine keeps per thread goes with it.
  void (*thread_freed)(host::Engine& engine, int32_t thread_id) = nullptr;
  // Runs before every message box: full screen is left and the window comes
  // to the front.
  void (*before_message_box)(host::Engine& engine) = nullptr;
  // Line-number instruction, set only while a debugger link is open: the
  // interpreter tests the pointer, so a run without a debugger pays one
  // predictable branch per line. May wait (a break) while pumping events.
  void (*line_reached)(host::Engine& engine, Thread& thread, int32_t line) = nullptr;
  // Opens a script's source at a line in the author's editor (error reports
  // with AutoOpenErrorLine on).
  void (*open_in_editor)(host::Engine& engine, std::string_view script_name, int32_t line) = nullptr;
  // The keyboard skip switch (Caps Lock), which input owns: whether it is on.
  // With settle, holding the right button turns it off and drops the latched
  // clicks that came with the press (the answer is then false).
  bool (*keyboard_skip)(host::Engine& engine, bool settle) = nullptr;
};

struct Machine {
  Machine(host::Engine& engine, platform::Platform& platform, resources::State& resources);
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // The engine this machine belongs to, handed to system-call handlers and
  // hooks; the machine never looks inside it.
  host::Engine& engine;
  platform::Platform& platform;
  const platform::TextEncoding& encoding;
  resources::State& resources;
  HostHooks hooks;

  // Debug mode enables the developer aids: error reports, the debug log.
  bool debug_mode = false;
  // The window caption in the game code page: the title of every box.
  std::string caption;
  // Set once the engine has been asked to end (normal end 0, abnormal 255).
  // Everything that runs a loop checks it and unwinds to the orderly shutdown.
  std::optional<int> exit_status;
  bool stopping() const { return exit_status.has_value(); }

  SyscallTable syscalls;
  Scripts scripts;
  VariableStore eternal;
  VariableStore global;

  std::vector<std::unique_ptr<Thread>> threads;  // newest first
  Thread* current = nullptr;
  int32_t slice_state = kSliceRunning;

  ScriptClock clock;
  bool fast_mode = false;
  bool no_update_on_wait0 = false;  // NOUPDATEONWAIT0: a zero wait turns fast mode on

  std::vector<EventRegistration> events;  // list order: head first
  bool events_locked = false;
  bool reporting_error = false;  // guards the reporter against re-entry

  std::vector<CallTarget> call_targets;

  // Automatic thread ids: start at a random multiple of 65536; after -3 has
  // been handed out they restart at 1 and skip ids in use.
  bool thread_ids_started = false;
  bool thread_ids_wrapped = false;
  uint32_t next_thread_id = 0;

  std::string next_start_script;
  // The code of the last request to end every thread; the outer loop reads
  // it (a non-zero code keeps the sound going through the restart).
  int32_t end_all_code = 0;
  SkipState skip;
  RandomGenerator random;
};

// Asks the engine to end with status; the first request wins.
void request_exit(Machine& machine, int status);

}  // namespace tavelo::script
