// Text-file system calls: files opened by scripts for writing (through the
// text-save dialog) or reading (through the file layer, so from archives
// too), read field by field or line by line. Handles are checked against the
// table; a read or write through a handle that is not open does nothing and
// gives the end-of-file result.

#include <array>

#include "platform/platform.h"
#include "platform/text_encoding.h"
#include "resources/file_lookup.h"
#include "resources/state.h"
#include "script/message_box.h"
#include "script/state.h"
#include "host/engine_parts.h"
#include "library/state.h"
#include "library/syscalls.h"
#include "library/text_files.h"
#include "script/waits.h"

namespace tavelo::library {
namespace {

using script::BoxKind;
using script::CallArgs;
using script::CallStatus;
using script::Machine;
using script::SyscallEntry;
using script::SyscallFlags;
using script::poll_again;
using script::run_dialog;
using script::show_box;

// Chosen paths this long or longer are refused, in bytes of game text.
constexpr size_t kMaxChosenPathBytes = 192;

// The text files this engine's scripts opened.
TextFileTable& open_files(Machine& machine) { return host::library_of(machine.engine).text_files; }

TextFile* text_file_at(Machine& machine, const CallArgs& args, int index) {
  return find_text_file(open_files(machine), args.int_at(index));
}

// Where the text-save dialog says to write, as a host path; nullopt writes
// nothing. Only a path the player chose is taken as it is: the script's own
// name (the dialog's proposal, taken unchanged or as the fallback when the
// choice is too long or the dialog failed, both shown in a box) must stay
// inside the game. A cancelled dialog writes nothing.
std::optional<std::string> chosen_text_path(Machine& machine, const platform::DialogRequest& request,
                                            std::string_view proposed, const platform::DialogOutcome& outcome) {
  switch (outcome.status) {
    case platform::DialogStatus::Accepted: {
      std::string chosen = machine.encoding.from_utf8_lossy(outcome.text);
      if (chosen.size() >= kMaxChosenPathBytes) {
        show_box(machine, BoxKind::Error, "ファイル名が長すぎます", {});
        break;
      }
      // The proposal taken unchanged is still the script's name.
      if (outcome.text == request.text) break;
      return resources::to_host_path_for_create(machine.resources, chosen);
    }
    case platform::DialogStatus::Failed: show_box(machine, BoxKind::Error, "エラーです", {}); break;
    case platform::DialogStatus::Cancelled:
    case platform::DialogStatus::Pending: return std::nullopt;
  }
  return resources::to_confined_host_path_for_create(machine.resources, proposed);
}

CallStatus sys_text_file_create(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::string_view proposed = args.text_at(1);
  // A name that leaves the game is refused before the player is asked.
  if (!resources::is_confined_game_path(machine.resources, proposed)) {
    return args.done(add_text_file(open_files(machine), TextFileMode::Write, std::nullopt));
  }
  platform::DialogRequest request;
  request.kind = platform::DialogKind::SaveFile;
  request.title = "テキストの保存";
  request.text = machine.encoding.to_utf8_lossy(proposed);
  request.filter = "TXT Files (*.TXT)";
  request.default_extension = "txt";
  std::optional<platform::DialogOutcome> outcome = run_dialog(args, request);
  if (!outcome) return poll_again(args);
  std::optional<platform::File> file;
  if (std::optional<std::string> host_path = chosen_text_path(machine, request, proposed, *outcome)) {
    file = platform::File::open(*host_path, platform::OpenMode::Write);
  }
  return args.done(add_text_file(open_files(machine), TextFileMode::Write, std::move(file)));
}

CallStatus sys_text_file_write(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  if (TextFile* file = text_file_at(machine, args, 1)) {
    // A failed write has no script-visible result; the handle comes back either way.
    (void)write_text_line(*file, args.text_at(2));
  }
  return args.done(args.int_at(1));
}

CallStatus sys_text_file_open(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::optional<platform::File> file = resources::find_game_file(machine.resources, args.text_at(1));
  return args.done(add_text_file(open_files(machine), TextFileMode::Read, std::move(file)));
}

CallStatus sys_text_file_close(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  close_text_file(open_files(machine), args.int_at(1));
  return args.done(0);
}

std::optional<std::string> next_field(Machine& machine, const CallArgs& args) {
  TextFile* file = text_file_at(machine, args, 1);
  if (!file) return std::nullopt;
  return read_field(machine.resources.lead_bytes, *file);
}

CallStatus sys_text_file_read_int(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::optional<std::string> field = next_field(machine, args);
  return args.done(field ? resources::parse_leading_int(strip_quotes(*field)) : 0);
}

CallStatus sys_text_file_read_field(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  std::optional<std::string> field = next_field(machine, args);
  return args.done_text(field ? strip_quotes(*field) : std::string_view{});
}

CallStatus sys_text_file_read_line(host::Engine&, CallArgs& args) {
  Machine& machine = args.machine;
  TextFile* file = text_file_at(machine, args, 1);
  std::optional<std::string> line = file ? read_text_line(*file) : std::nullopt;
  return args.done_text(line ? *line : std::string());
}

constexpr SyscallFlags kNone = SyscallFlags::None;

constexpr std::array kFileSyscalls = {
    SyscallEntry{0xD1921ED9, "text_file_create", sys_text_file_create, kNone,
                 "str name -> int a handle for writing; the player confirms the name in a save dialog first"},
    SyscallEntry{0x63B8CB23, "text_file_write", sys_text_file_write, kNone,
                 "int file, str text -> int the handle; writes the text and a line end"},
    SyscallEntry{0xE4E3B40D, "text_file_open", sys_text_file_open, kNone,
                 "str name -> int a handle for reading; the file may be in an archive"},
    SyscallEntry{0xD6333B3C, "text_file_close", sys_text_file_close, kNone, "int file -> int 0"},
    SyscallEntry{0x2539D212, "text_file_read_int", sys_text_file_read_int, kNone,
                 "int file -> int the next comma-separated field as a number; 0 at the end"},
    SyscallEntry{0x55232561, "text_file_read_field", sys_text_file_read_field, kNone,
                 "int file -> str the next comma-separated field, unquoted; \"\" at the end"},
    SyscallEntry{0x6008BEBB, "text_file_read_line", sys_text_file_read_line, kNone,
                 "int file -> str the next non-empty line without its comment; \"\" at the end"},
};

}  // namespace

std::span<const SyscallEntry> file_syscalls() { return kFileSyscalls; }

}  // namespace tavelo::library
