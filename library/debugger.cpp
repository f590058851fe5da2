// The engine's side of the external script debugger.

#include "library/debugger.h"

#include <algorithm>
#include <cstring>

#include "script/loader.h"
#include "script/machine.h"
#include "script/message_box.h"
#include "script/state.h"
#include "script/thread.h"

namespace tavelo::library {
namespace {

using script::BoxKind;
using script::Frame;
using script::LoadedScript;
using script::Machine;
using script::Thread;
using script::Value;
using script::ValueType;
using script::make_current;
using script::request_exit;
using script::script_at;
using script::show_box;
using script::show_script_box;

// Reads per service: a debugger that floods the link cannot keep the engine
// in here.
constexpr int kReadsPerService = 16;

void drop_client(Debugger& debugger) {
  debugger.client.close();
  debugger.received.clear();
  // Nothing of a debugger that went away may stop the game later.
  debugger.breakpoints.clear();
  debugger.step = debugger.step_over = debugger.step_in = false;
}

void send(Debugger& debugger, const std::vector<uint8_t>& frame) {
  if (!debugger.client.is_open()) return;
  if (!debugger.client.write_all(frame)) drop_client(debugger);
}

VariableRecord variable_record(const Value* value, uint32_t hash) {
  VariableRecord record;
  record.hash = hash;
  if (!value) {
    record.type = -1;
    return record;
  }
  record.type = int32_t(value->type);
  record.scope = int32_t(value->scope);
  switch (value->type) {
    case ValueType::Int: record.payload = uint32_t(value->integer); break;
    case ValueType::Float: std::memcpy(&record.payload, &value->real, 4); break;
    case ValueType::String:
      if (value->string) record.text = std::string(value->string->text());
      break;
    default: record.payload = value->array ? uint32_t(value->array->element_count()) : 0; break;
  }
  return record;
}

uint32_t payload_of(const Value* value) {
  if (!value) return 0;
  VariableRecord record = variable_record(value, value->hash);
  return record.type == int32_t(ValueType::String) ? uint32_t(record.text.size()) : record.payload;
}

// Eternal, then global, then the current thread's store.
const Value* find_variable(Machine& machine, uint32_t hash) {
  if (const Value* value = machine.eternal.find(hash)) return value;
  if (const Value* value = machine.global.find(hash)) return value;
  if (machine.current) return machine.current->store.find(hash);
  return nullptr;
}

// Local slot `slot` of the current thread's current frame, when it holds a value.
const Value* find_local(Machine& machine, int32_t slot) {
  Thread* thread = machine.current;
  if (!thread || slot < 0) return nullptr;
  int64_t index = int64_t(thread->frame().base) + slot;
  if (index >= thread->sp) return nullptr;
  return &thread->stack()[index];
}

const LoadedScript* script_of(const Machine& machine, const Frame& frame) {
  const LoadedScript* script = frame.position ? script_at(machine, frame.position) : nullptr;
  if (!script && frame.code) script = frame.code->script;
  return script;
}

void resume_from_break(Debugger& debugger) {
  if (debugger.in_break) ++debugger.resume_count;
}

void start_step(Machine& machine, Debugger& debugger, bool Debugger::*flag) {
  if (!debugger.in_break) return;
  debugger.*flag = true;
  if (machine.current) {
    debugger.step_thread = machine.current->id;
    debugger.step_depth = machine.current->depth;
  } else {
    debugger.step_thread = -1;
  }
  ++debugger.resume_count;
}

bool accept_client(Machine& machine, Debugger& debugger) {
  if (debugger.client.is_open() || !debugger.listener.is_open()) return false;
  std::optional<platform::LoopbackSocket> accepted = debugger.listener.accept();
  if (!accepted) return false;
  debugger.client = std::move(*accepted);
  debugger.received.clear();
  send(debugger, encode_message(kLinkHello, 0, 0));
  LinkFrame clear;
  clear.code = kLinkClearBreakpoints;
  handle_debugger_message(machine, debugger, clear);
  send(debugger, encode_message(kLinkReady, 0, 0));
  return true;
}

void wait_for_link(Debugger& debugger) {
  if (debugger.client.is_open()) {
    debugger.client.wait_readable(1);
  } else {
    debugger.listener.wait_readable(1);
  }
}

}  // namespace

std::optional<std::string> open_debugger_link(Debugger& debugger, uint16_t port) {
  std::string problem;
  std::optional<platform::LoopbackSocket> listener = platform::LoopbackSocket::listen(port, &problem);
  if (!listener) return problem;
  debugger.listener = std::move(*listener);
  return std::nullopt;
}

void close_debugger_link(Debugger& debugger) {
  send(debugger, encode_message(kLinkGoodbye, 0, 0));
  debugger.client.close();
  debugger.listener.close();
}

int32_t handle_debugger_message(Machine& machine, Debugger& debugger, const LinkFrame& message) {
  std::vector<Breakpoint>& breakpoints = debugger.breakpoints;
  auto same = [&](const Breakpoint& entry) {
    return entry.script_hash == uint32_t(message.w) && entry.line == message.l;
  };
  switch (message.code) {
    case kLinkResume: ++debugger.resume_count; return 0;
    case kLinkAddBreakpoint:
      if (std::any_of(breakpoints.begin(), breakpoints.end(), same)) return 1;
      if (breakpoints.size() >= kMaxBreakpoints) {
        show_box(machine, BoxKind::Error, "BreakPointが多すぎます。", {});
        return 1;
      }
      breakpoints.push_back({uint32_t(message.w), message.l});
      return 0;
    case kLinkClearBreakpoints: breakpoints.clear(); return 0;
    case kLinkRemoveBreakpoint: {
      auto found = std::find_if(breakpoints.begin(), breakpoints.end(), same);
      if (found == breakpoints.end()) return 1;
      breakpoints.erase(found);
      return 0;
    }
    case kLinkBreakNext:
      debugger.step = true;
      debugger.step_thread = -1;
      return 0;
    case kLinkSendVariable: {
      const Value* value = find_variable(machine, uint32_t(message.w));
      if (!value) return -1;
      send(debugger, encode_copy_data(kTagVariable, encode_variable(variable_record(value, uint32_t(message.w)))));
      return 0;
    }
    case kLinkEcho: {
      std::optional<std::span<const uint8_t>> data = echo_data(message.data);
      if (!data) return -1;
      send(debugger, encode_copy_data(kTagEcho, *data));
      return 0;
    }
    case kLinkSendLocal: {
      const Value* value = find_local(machine, message.w);
      send(debugger, encode_copy_data(kTagVariable, encode_variable(variable_record(value, value ? value->hash : 0))));
      return 0;
    }
    case kLinkLocalValue: return int32_t(payload_of(find_local(machine, message.w)));
    case kLinkVariableValue: return int32_t(payload_of(find_variable(machine, uint32_t(message.w))));
    case kLinkStepOver: start_step(machine, debugger, &Debugger::step_over); return 0;
    case kLinkStep: start_step(machine, debugger, &Debugger::step); return 0;
    case kLinkStepIn: start_step(machine, debugger, &Debugger::step_in); return 0;
    case kLinkContinue: resume_from_break(debugger); return 0;
    case kLinkShutDown:
      request_exit(machine, 0);
      resume_from_break(debugger);
      return 0;
    case kLinkCompileDone: debugger.compile_done = true; return 0;
    case kLinkCompileCancelled: debugger.compile_cancelled = true; return 0;
    default: return 0;
  }
}

bool service_debugger(Machine& machine, Debugger& debugger) {
  bool happened = accept_client(machine, debugger);
  for (int reads = 0; reads < kReadsPerService && debugger.client.is_open(); ++reads) {
    platform::LoopbackSocket::ReadStatus status = debugger.client.read_some(debugger.received);
    if (status == platform::LoopbackSocket::ReadStatus::Nothing) break;
    happened = true;
    if (status == platform::LoopbackSocket::ReadStatus::Closed) {
      drop_client(debugger);
      break;
    }
    LinkFrame frame;
    for (;;) {
      FrameRead read = read_link_frame(debugger.received, frame);
      if (read == FrameRead::NeedMore) break;
      // A debugger only sends messages; anything else is garbage.
      if (read == FrameRead::Broken || frame.kind != FrameKind::Message) {
        drop_client(debugger);
        break;
      }
      int32_t reply = handle_debugger_message(machine, debugger, frame);
      send(debugger, encode_reply(frame.code, reply));
      if (!debugger.client.is_open()) break;
    }
  }
  return happened;
}

void attach_debugger(Machine& machine, Debugger& debugger) {
  debugger.breakpoints.clear();
  debugger.resume_count = 0;
  uint32_t idle = 0;
  while (debugger.resume_count == 0 && !machine.stopping()) {
    bool happened = service_debugger(machine, debugger);
    if (machine.hooks.pump_events) machine.hooks.pump_events(machine.engine);
    if (happened) {
      idle = 0;
      continue;
    }
    wait_for_link(debugger);
    if (++idle < debugger.patience_polls) continue;
    idle = 0;
    platform::Answer answer = show_script_box(
        machine, game_message(machine, "デバッガが応答していません。もう１０秒待ちますか？"), platform::Buttons::YesNo,
        platform::Icon::Error);
    if (answer != platform::Answer::Yes) {
      request_exit(machine, 1);
      return;
    }
  }
  if (machine.stopping()) return;
  LinkFrame first_line;
  first_line.code = kLinkBreakNext;
  handle_debugger_message(machine, debugger, first_line);
}

void debugger_line(Machine& machine, Debugger& debugger, Thread& thread, int32_t line) {
  if (!debugger.step && !debugger.step_over && !debugger.step_in && debugger.breakpoints.empty()) return;
  const Frame& frame = thread.frame();
  const LoadedScript* script = script_of(machine, frame);
  bool thread_matches = debugger.step_thread == -1 || debugger.step_thread == thread.id;
  bool hit = thread_matches && (debugger.step || (debugger.step_over && thread.depth <= debugger.step_depth) ||
                                (debugger.step_in && thread.depth > debugger.step_depth));
  if (!hit && script) {
    uint32_t hash = script->name_hash;
    hit = std::any_of(debugger.breakpoints.begin(), debugger.breakpoints.end(),
                      [&](const Breakpoint& entry) { return entry.script_hash == hash && entry.line == line; });
  }
  if (!hit) return;
  debugger.step = debugger.step_over = debugger.step_in = false;
  // With nobody listening a break would wait for ever.
  if (!debugger.client.is_open()) return;

  debugger.last_break = {script ? script->name : std::string("?"), line};
  send(debugger, encode_copy_data(kTagBreak, encode_break_report(debugger.last_break)));
  debugger.resume_count = 0;
  debugger.in_break = true;
  Thread* previous = make_current(machine, &thread);
  while (debugger.resume_count == 0 && debugger.client.is_open() && !machine.stopping()) {
    bool happened = service_debugger(machine, debugger);
    if (machine.hooks.pump_events) machine.hooks.pump_events(machine.engine);
    if (!happened) wait_for_link(debugger);
  }
  make_current(machine, previous);
  debugger.in_break = false;
}

}  // namespace tavelo::library
