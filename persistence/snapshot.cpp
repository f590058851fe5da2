// The main thread's frames and stores to and from a save image.

#include "persistence/snapshot.h"

#include <algorithm>

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

script::LoadedScript* loaded_script(script::Machine& machine, std::string_view name) {
  std::string normalized = script::normalize_script_name(machine, name);
  for (const std::unique_ptr<script::LoadedScript>& script : machine.scripts.loaded) {
    if (script->name == normalized) return script.get();
  }
  return nullptr;
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

  for (int depth = 0; depth <= thread->depth; ++depth) {
    const script::Frame& frame = thread->frames[size_t(depth)];
    FrameRecord record;
    const script::CodeBlock* code = frame.code;
    if (code && code->script) record.script_name = code->script->name;
    record.position = offset_in(code, frame.position);
    record.base = frame.base;
    record.top = frame.top;
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
  // The stack comes back as slot 0 and then the saved records.
  const int64_t stack_top = int64_t(image.locals.values.size()) + 1;
  if (stack_top >= script::kMaxStackRecords) return MachineCheck::BadStack;
  for (size_t i = 0; i < image.frames.size(); ++i) {
    const FrameRecord& frame = image.frames[i];
    script::LoadedScript* script = loaded_script(machine, frame.script_name);
    // A script that is neither loaded nor present would keep the loader's
    // retry box up; a save naming one is refused instead.
    if (!script && !resources::file_exists(machine.resources, script::normalize_script_name(machine, frame.script_name))) {
      return MachineCheck::NoScript;
    }
    if (!script) script = script::load_script(machine, frame.script_name);
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
  script::ensure_stack(*thread, int32_t(image.locals.values.size()) + 256);
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
