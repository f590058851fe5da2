#pragma once
// The engine's side of the external script debugger: the link (a loopback TCP
// listener and at most one connected debugger), the breakpoint table, the step
// flags and the break loop. The host owns one Debugger while a link is open
// (--debug PORT, "/DEBUG:PORT") and installs HostHooks::line_reached, so the
// line-number instruction reaches debugger_line only then. Messages are
// served between slices (service_debugger, from the window's event pump) and
// inside the attach and break waits, which keep pumping window events, so the
// window stays responsive while no script instruction runs. Main thread only.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/loopback_socket.h"
#include "library/debug_link.h"

namespace tavelo::script {
struct Machine;
struct Thread;
}  // namespace tavelo::script

namespace tavelo::library {

inline constexpr size_t kMaxBreakpoints = 64;

struct Breakpoint {
  uint32_t script_hash = 0;  // name hash of the normalized script name (START.TVO)
  int32_t line = 0;
};

struct Debugger {
  platform::LoopbackSocket listener;
  platform::LoopbackSocket client;  // closed while no debugger is connected
  std::vector<uint8_t> received;    // bytes of a frame not complete yet

  std::vector<Breakpoint> breakpoints;  // insertion order, at most kMaxBreakpoints
  uint32_t resume_count = 0;
  bool step = false;
  bool step_over = false;
  bool step_in = false;
  int32_t step_thread = -1;  // -1: any thread
  int step_depth = 0;
  bool in_break = false;
  // The last break: what "where" answers.
  BreakReport last_break;
  // Idle polls (1 ms each) between the questions while waiting for a
  // debugger at attach; tests shorten it.
  uint32_t patience_polls = 10000;
  // The compiler reported back (0x9002) while a compile was pending: the host
  // reloads the scripts the next time the machine waits.
  bool compile_done = false;
  bool compile_cancelled = false;
};

// Opens the listener on 127.0.0.1:port; the reason when it cannot.
std::optional<std::string> open_debugger_link(Debugger& debugger, uint16_t port);

// The attach handshake at start-up: waits (pumping window events) until a
// debugger connects and resumes the engine, asking "デバッガが応答していません。
// もう１０秒待ちますか？" after every patience_polls idle polls; No ends the
// engine with status 1. Then breaks at the first line that runs.
void attach_debugger(script::Machine& machine, Debugger& debugger);

// Accepts a waiting debugger and serves every complete message it sent. A
// debugger that sends a malformed or oversized frame, or goes away (even in
// the middle of a frame), is dropped, and the engine goes on without it.
// True when anything happened.
bool service_debugger(script::Machine& machine, Debugger& debugger);

// The line-number instruction's check; on a break, reports the position and
// waits for the debugger to resume.
void debugger_line(script::Machine& machine, Debugger& debugger, script::Thread& thread, int32_t line);

// One message from the debugger (or from the engine itself); the reply value.
int32_t handle_debugger_message(script::Machine& machine, Debugger& debugger, const LinkFrame& message);

// The goodbye message at the end of the run; closes the link.
void close_debugger_link(Debugger& debugger);

}  // namespace tavelo::library
