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
// the whole stack from slot 1 (what keep_machine saves), or only the
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

// A code address both ways: the record keeps its offset from the start of
// the code, 0 for none.
void keep_address(const resources::SaveFields& fields, int32_t& offset, const uint8_t*& address,
                  const script::CodeBlock* code) {
  if (fields.loading()) {
    address = code ? position_in(*code, offset) : nullptr;
  } else {
    offset = offset_in(code, address);
  }
}

// One call frame both ways. Loading first starts the frame afresh in the
// script its record names (checked to be loaded), then the fields come back.
void keep_frame(const resources::SaveFields& fields, FrameRecord& record, script::Frame& frame,
                script::Machine& machine) {
  const script::CodeBlock* code = frame.code;
  if (fields.loading()) {
    script::LoadedScript* script = loaded_script(machine, record.script_name);
    code = script ? script->code.get() : nullptr;
    script::start_frame(frame, frame, code, nullptr, record.base);
  } else {
    record.script_name = code && code->script ? code->script->name : std::string();
  }
  keep_address(fields, record.position, frame.position, code);
  fields.copy(record.base, frame.base);
  fields.copy(record.top, frame.top);
  fields.copy(record.discard_result, frame.discard_result);
  fields.copy(record.line, frame.line);
  keep_address(fields, record.targets[0], frame.left_handler, code);
  keep_address(fields, record.targets[1], frame.right_handler, code);
  keep_address(fields, record.targets[2], frame.middle_handler, code);
  keep_address(fields, record.targets[3], frame.break_target, code);
  keep_address(fields, record.targets[4], frame.end_handler, code);
}

// A variable store both ways: saving copies it into the list (see
// copy_values); loading makes the store the list's values, each with one more
// reference.
void keep_store(const resources::SaveFields& fields, ValueList& list, script::VariableStore& store) {
  if (!fields.loading()) {
    copy_values(list, store.records);
    return;
  }
  store.release_all();
  for (const script::Value& value : list.values) {
    script::retain_value(value);
    store.append(value);
  }
}

// The main thread's stack from slot 1 both ways. Saving keeps every record
// below the save point's arguments, and a kept result as 0; loading puts the
// records back from where they start (locals_start), with 0 in the slots
// below that the file does not keep.
void keep_stack(const resources::SaveFields& fields, SaveImage& image, script::Thread& thread,
                std::optional<SavePointCall> call) {
  if (!fields.loading()) {
    const int32_t top = call ? call->first : thread.sp;
    copy_values(image.locals, std::span<const script::Value>(thread.stack() + 1, size_t(std::max(top - 1, 0))));
    if (call && call->keep_result) image.locals.values.push_back(script::make_int(0));
    return;
  }
  script::release_stack_above(thread, 1);
  // Checked: the start lies within the stack's limit.
  const int32_t start = int32_t(locals_start(image).value_or(1));
  script::ensure_stack(thread, start + int32_t(image.locals.values.size()) + 256);
  while (thread.sp < start) script::push_value(thread, script::make_int(0));
  for (const script::Value& value : image.locals.values) {
    script::retain_value(value);
    script::push_value(thread, value);
  }
}

}  // namespace

void keep_machine(const resources::SaveFields& fields, SaveImage& image, script::Machine& machine,
                  std::optional<SavePointCall> call) {
  script::Thread* thread = script::find_thread(machine, 0);
  if (!thread && fields.loading()) return;  // the reset before a load makes it
  keep_store(fields, image.globals, machine.global);
  if (!thread) {
    // Without a main thread a save keeps the global store alone.
    image.frames.clear();
    image.thread_values.clear();
    image.locals.clear();
    return;
  }
  keep_store(fields, image.thread_values, thread->store);
  keep_stack(fields, image, *thread, call);
  if (fields.loading()) {
    thread->depth = int(image.frames.size()) - 1;
  } else {
    image.frames.resize(size_t(thread->depth) + 1);
  }
  for (size_t depth = 0; depth < image.frames.size(); ++depth) {
    keep_frame(fields, image.frames[depth], thread->frames[depth], machine);
  }
  if (fields.loading()) {
    machine.current = thread;
  } else {
    // The stack top of the innermost frame is the live one, as saved.
    image.frames.back().top = int32_t(image.locals.values.size()) + 1;
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

}  // namespace tavelo::persistence
