#pragma once
// State of the script machine: the variable stores, the threads, the event
// registrations, the script clock, the slice state and the system-call table.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "script/dispatch.h"
#include "script/loader.h"
#include "script/random.h"
#include "script/text_files.h"
#include "script/thread.h"
#include "script/variables.h"

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
// instruction holds index + 1 into State::call_targets.
struct CallTarget {
  const CodeBlock* code = nullptr;
  const uint8_t* position = nullptr;
};

// Any non-zero slice state ends the running slice.
enum SliceState : int32_t {
  kSliceRunning = 0,
  kSliceYield = 1,
  kSliceGameLoaded = 2,     // stop the main loop and return 2
  kSliceThreadEnded = 4,    // the thread's outermost function returned
  kSliceRestart = 5,        // stop the main loop and return 5
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
  bool read_marks_loaded = false;       // the read-mark file is read once per engine
};

struct State {
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
  int32_t skip_divisor = -1;  // AGGSKIP divisor; -1 until read
  uint32_t frame_counter = 0;
  int32_t display_lock = 0;  // while above 0 no per-frame host work runs
  bool return_to_title = false;

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
  bool skip_next_audio_reset = false;
  SkipState skip;
  RandomGenerator random;
  TextFileTable text_files;  // text files opened by scripts
};

}  // namespace tavelo::script
