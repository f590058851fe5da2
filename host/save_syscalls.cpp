// System calls that save and load the game.

#include "host/save_syscalls.h"

#include <optional>
#include <string>

#include "host/engine.h"
#include "host/save_dialogs.h"
#include "host/save_game.h"
#include "persistence/state.h"
#include "script/thread.h"
#include "script/waits.h"

namespace tavelo::host {
namespace {

using script::CallArgs;
using script::CallStatus;
using script::SyscallEntry;

CallStatus sys_save_point(Engine& engine, CallArgs& args) {
  persistence::State& state = engine.persistence;
  if (args.has(1)) {
    std::string_view comment = args.text_at(1);
    state.snapshot.comment.assign(comment.substr(0, persistence::kCommentField - 1));
  }
  std::optional<persistence::SavePointCall> call;
  if (args.thread.id == 0) call = persistence::SavePointCall{args.first, args.keep_result};
  take_save_point(engine, call);
  return args.done(0);
}

CallStatus sys_save(Engine& engine, CallArgs& args) {
  save_to_slot(engine, args.int_at(1));
  return args.done(0);
}

CallStatus sys_load(Engine& engine, CallArgs& args) {
  return args.done(request_load_slot(engine, args.int_at(1)) == LoadRequest::Started ? 0 : -1);
}

// ---- the dialogs that choose a slot or a file; each waits for the player

CallStatus sys_slot_dialog(Engine& engine, CallArgs& args) {
  persistence::State& state = engine.persistence;
  if (!script::dialog_is_open(args) || !state.slot_dialog) {
    SlotDialogPurpose purpose = args.int_at(1) != 0 ? SlotDialogPurpose::Load : SlotDialogPurpose::Save;
    state.slot_dialog = make_slot_dialog(engine, purpose, args.int_at(2));
  }
  platform::DialogRequest request;
  request.kind = platform::DialogKind::Panel;
  request.content = state.slot_dialog;
  std::optional<platform::DialogOutcome> outcome = script::run_dialog(args, request);
  if (!outcome) return script::poll_again(args);
  int32_t slot = finish_slot_dialog(engine, *state.slot_dialog, outcome->status);
  state.slot_dialog.reset();
  return args.done(slot);
}

CallStatus sys_save_as(Engine& engine, CallArgs& args) {
  platform::DialogRequest request;
  if (!script::dialog_is_open(args)) request = save_as_request(engine);
  std::optional<platform::DialogOutcome> outcome = script::run_dialog(args, request);
  if (!outcome) return script::poll_again(args);
  return args.done(finish_save_as(engine, *outcome));
}

CallStatus sys_load_from_file(Engine& engine, CallArgs& args) {
  platform::DialogRequest request;
  if (!script::dialog_is_open(args)) request = load_file_request(engine);
  std::optional<platform::DialogOutcome> outcome = script::run_dialog(args, request);
  if (!outcome) return script::poll_again(args);
  return args.done(finish_load_file(engine, *outcome));
}

constexpr SyscallEntry kSyscalls[] = {
    {0xF8004993, "save_point", sys_save_point, {},
     "[str comment] -> int 0; takes the snapshot that saves write; the comment becomes the slot comment"},
    {0x89018DD1, "save", sys_save, {}, "int slot -> int 0; writes the snapshot to the slot's file"},
    {0x3A3CA0F1, "load", sys_load, {}, "int slot -> int 0 when the load starts, -1 for a missing or damaged file"},
    {0x9AF10167, "slot_dialog", sys_slot_dialog, {},
     "int mode, int newest_slot -> int the chosen slot, or -1; waits for the slot dialog (mode 0 save, else load)"},
    {0x8F874E29, "save_as", sys_save_as, {}, "-> int 0 when saved to a file the player names, -1 when cancelled"},
    {0x3CBA6309, "load_from_file", sys_load_from_file, {},
     "-> int 0 when the load of a file the player chose starts, else -1"},
};

}  // namespace

std::span<const SyscallEntry> save_syscalls() { return kSyscalls; }

}  // namespace tavelo::host
