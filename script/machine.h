#pragma once
// The script machine's thread, call and event operations: creating, finding,
// resetting and freeing threads, calling script functions from compiled code
// and from engine code, returning, ending threads, and raising events. The
// interpreter loop (interpreter.h) and the control system calls use these.

#include <cstdint>
#include <string_view>

namespace tavelo::script {

struct Machine;

struct Thread;
struct CodeBlock;

// Creates a thread at the head of the list; id -1 takes an automatic id.
Thread* create_thread(Machine& machine, int32_t id);
Thread* find_thread(Machine& machine, int32_t id);
bool thread_exists(const Machine& machine, const Thread* thread);
// Makes thread current for stack and variable operations; returns the previous one.
Thread* make_current(Machine& machine, Thread* thread);
// Clears stack and frames, drops the thread's event registrations (unless locked
// or suspended) and its end machine.
void reset_thread(Machine& machine, Thread& thread);
void free_thread(Machine& machine, Thread* thread);
void free_all_threads(Machine& machine);
// Every thread in end state 0 gets state 1; the slice ends.
void end_all_threads(Machine& machine);

// Pushes a frame on the current thread; false (after the fatal report, which
// ends the engine) when 256 frames are in use.
bool push_frame(Machine& machine, Thread& thread);

// What a runaway script has exhausted: the call frames or the value stack.
enum class Overflow { Calls, Values };
// The fatal report of a runaway script. Whichever button is chosen, the engine
// ends abnormally (exit status 255) and the slice ends.
void report_stack_overflow(Machine& machine, Overflow overflow);

// The call of compiled code (0x80F/0x810) for engine code: the argc arguments
// are already on the current thread's stack. False when the engine is stopping.
bool call_function_by_hash(Machine& machine, uint32_t hash, int argc);
// Enters code at position as a call with argc arguments on the stack; the
// caller's result-discard flag becomes discard.
bool call_position(Machine& machine, Thread& thread, const CodeBlock* code, const uint8_t* position,
                   int argc, bool discard);
// Resolves a function hash; never returns null while the engine runs (the fatal
// report repeats until the user ends the engine).
const uint8_t* resolve_function(Machine& machine, uint32_t hash, const CodeBlock** code);

// Result handling of a control call that finished by itself: releases the
// records from the top down to first, keeping the top record as the result at
// first unless discard.
void finish_control_call(Machine& machine, int32_t first, bool discard);

// The return instruction's work (end handler, end-state machine, unwinding).
void execute_return(Machine& machine, Thread& thread);

// Starts the thread over at a code position (a fresh frame 0) with argc
// arguments taken from the top of the current stack.
void restart_thread_at(Machine& machine, Thread& thread, const CodeBlock* code, const uint8_t* position);

// Raises an event: the top count values go to every registered handler.
void raise_event(Machine& machine, uint32_t key, int count, bool keep_result);
// The same for the registrations of one thread (-1: the current one), walked from the tail.
void raise_event_to(Machine& machine, uint32_t key, int32_t thread_id, int count, bool keep_result);

}  // namespace tavelo::script

namespace tavelo::script {

// Loads a script, resets the current thread and points it at the script's
// entry function. False when the engine is stopping or the script has no
// entry function (reported).
bool load_and_enter(Machine& machine, std::string_view name);

}  // namespace tavelo::script
