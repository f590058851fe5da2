// The main thread's frames and stores to and from a save image.

#include "persistence/snapshot.h"

#include <algorithm>
#include <optional>

#include "resources/file_lookup.h"
#include "script/loader.h"
#include "script/machine.h"
#include "script/state.h"
#include "script/thread.h"

namespace tavelo::persistence {

namespace {

int32_t offset_in(const script::CodeBlock* code, const uint8_t* position) {
  if (!code || !position || !code->contains(position)) return 0;
  return int32_t(position - code->begin());
}

const uint8_t* position_in(const script::CodeBlock& code, int32_t offset) {
  return offset == 0 ? nullptr : code.begin() + offset;
}

void copy_values(ValueList& list, std::span<const script::Value> values) {
  list.clear();
  list.values.reserve(values.size());
  for (const script::Value& value : values) {
    if (value.type != script::ValueType::StringArray || value.array->references > 1) {
      list.add_shared(value);
      continue;
    }
    // A string array nobody else holds yet is copied deep, so that what the
    // script changes afterwards does not reach the snapshot.
    script::Value copy = value;
    copy.array = script::copy_array_block(*value.array);
    list.values.push_back(copy);
  }
}

// A name too long for a script is no loaded script (and no report).
script::LoadedScript* loaded_script(script::Machine& machine, std::string_view name) {
  std::optional<std::string> normalized = script::script_record_name(machine, name);
  if (!normalized) return nullptr;
  for (const std::unique_ptr<script::LoadedScript>& script : machine.scripts.loaded) {
    if (script->name == *normalized) return script.get();
  }
  return nullptr;
}

// The script a frame names, loaded if it is not yet; null for a name that
// cannot be a script's, a missing file or a damaged one. Never shows a box:
// a save that names such a script is refused, while the game goes on.
script::LoadedScript* frame_script(script::Machine& machine, std::string_view name) {
  if (script::LoadedScript* script = loaded_script(machine, name)) return script;
  std::optional<std::string> normalized = script::script_record_name(machine, name);
  // Only a file that is present is loaded: the loader would otherwise
  // register the scenario search entries once more, which can stop the
  // engine over a damaged archive.
  if (!normalized || !resources::file_exists(machine.resources, *normalized)) return nullptr;
  return script::try_load_script(machine, *normalized);
}

// The stack index of the first local record after a load. Two layouts:
// the whole stack from slot 1 (what capture_machine writes), or only the
// innermost frame's locals, which belong at its base (files that keep no
// more). The innermost frame's stack top tells them apart: the local count
// is top - base for the second. Files of an earlier build of this engine hold
// the whole stack with an innermost top that was not kept up to date; they
// load as the whole stack too. Nothing when the records cannot reach the
// innermost frame's base.
std::optional<int64_t> locals_start(const SaveImage& image) {
  const FrameRecord& innermost = image.frames.back();
  const int64_t count = int64_t(image.locals.values.size());
  if (count == int64_t(innermost.top) - innermost.base) return innermost.base;
  if (innermost.base <= count + 1) return 1;
  return std::nullopt;
}

}  // namespace

void capture_machine(SaveImage& image, script::Machine& machine, std::optional<SavePointCall> call) {
  image.frames.clear();
  image.locals.clear();
  image.thread_values.clear();
  copy_values(image.globals, machine.global.records);
  script::Thread* thread = script::find_thread(machine, 0);
  if (!thread) return;
  copy_values(image.thread_values, thread->store.records);

  int32_t top = call ? call->first : thread->sp;
  copy_values(image.locals, std::span<const script::Value>(thread->stack() + 1, size_t(std::max(top - 1, 0))));
  if (call && call->keep_result) image.locals.values.push_back(script::make_int(0));

  // The stack top of the innermost frame is the live one, as saved.
  const int32_t live_top = int32_t(image.locals.values.size()) + 1;
  for (int depth = 0; depth <= thread->depth; ++depth) {
    const script::Frame& frame = thread->frames[size_t(depth)];
    FrameRecord record;
    const script::CodeBlock* code = frame.code;
    if (code && code->script) record.script_name = code->script->name;
    record.position = offset_in(code, frame.position);
    record.base = frame.base;
    record.top = depth == thread->depth ? live_top : frame.top;
    record.discard_result = frame.discard_result ? 1 : 0;
    record.line = frame.line;
    record.targets = {offset_in(code, frame.left_handler), offset_in(code, frame.right_handler),
                      offset_in(code, frame.middle_handler), offset_in(code, frame.break_target),
                      offset_in(code, frame.end_handler)};
    image.frames.push_back(std::move(record));
  }
}

MachineCheck check_machine_image(script::Machine& machine, const SaveImage& image) {
  if (image.frames.empty() || image.frames.size() > size_t(script::kMaxFrames)) return MachineCheck::BadStack;
  // The stack comes back as slot 0, then the saved records from their start.
  const std::optional<int64_t> start = locals_start(image);
  if (!start) return MachineCheck::BadStack;
  const int64_t stack_top = *start + int64_t(image.locals.values.size());
  if (stack_top >= script::kMaxStackRecords) return MachineCheck::BadStack;
  for (size_t i = 0; i < image.frames.size(); ++i) {
    const FrameRecord& frame = image.frames[i];
    script::LoadedScript* script = frame_script(machine, frame.script_name);
    if (!script || !script->code) return MachineCheck::NoScript;
    const int64_t size = script->code->size;
    if (frame.position <= 0 || frame.position >= size) return MachineCheck::BadPosition;
    for (int32_t target : frame.targets) {
      if (target >= size) return MachineCheck::BadPosition;
    }
    if (frame.base < 1 || frame.base > stack_top) return MachineCheck::BadStack;
    if (i + 1 < image.frames.size()) {
      // A caller: its own part of the stack ends below the callee's
      // argument count.
      const int32_t callee_base = image.frames[i + 1].base;
      if (frame.top < frame.base || frame.top >= callee_base) return MachineCheck::BadStack;
    }
  }
  return MachineCheck::Ok;
}

void restore_machine(script::Machine& machine, const SaveImage& image) {
  script::Thread* thread = script::find_thread(machine, 0);
  if (!thread) return;
  machine.global.release_all();
  for (const script::Value& value : image.globals.values) {
    script::retain_value(value);
    machine.global.append(value);
  }
  thread->store.release_all();
  for (const script::Value& value : image.thread_values.values) {
    script::retain_value(value);
    thread->store.append(value);
  }
  script::release_stack_above(*thread, 1);
  // Checked: the start lies within the stack's limit.
  const int32_t start = int32_t(locals_start(image).value_or(1));
  script::ensure_stack(*thread, start + int32_t(image.locals.values.size()) + 256);
  // Below a base that only the innermost frame's locals came for, the file
  // keeps nothing: those slots (its callers' values, its arguments) are 0.
  while (thread->sp < start) script::push_value(*thread, script::make_int(0));
  for (const script::Value& value : image.locals.values) {
    script::retain_value(value);
    script::push_value(*thread, value);
  }
  thread->depth = int(image.frames.size()) - 1;
  for (size_t i = 0; i < image.frames.size(); ++i) {
    const FrameRecord& record = image.frames[i];
    script::LoadedScript* script = loaded_script(machine, record.script_name);
    if (!script || !script->code) break;  // checked before the reset; cannot happen
    const script::CodeBlock& code = *script->code;
    script::Frame& frame = thread->frames[i];
    script::start_frame(frame, frame, &code, code.begin() + record.position, record.base);
    frame.top = record.top;
    frame.discard_result = record.discard_result != 0;
    frame.line = record.line;
    frame.left_handler = position_in(code, record.targets[0]);
    frame.right_handler = position_in(code, record.targets[1]);
    frame.middle_handler = position_in(code, record.targets[2]);
    frame.break_target = position_in(code, record.targets[3]);
    frame.end_handler = position_in(code, record.targets[4]);
  }
  machine.current = thread;
}

}  // namespace tavelo::persistence
