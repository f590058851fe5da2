// Text-file system calls: files opened by scripts for writing (through the
// text-save dialog) or reading (through the file layer, so from archives
// too), read field by field or line by line. Handles are checked against the
// table; a read or write through a handle that is not open does nothing and
// gives the end-of-file result.

#include <array>

#include "dialogs/dialog_seam.h"
#include "host/engine.h"
#include "resources/file_lookup.h"
#include "resources/settings_store.h"
#include "script/syscalls.h"
#include "script/text_files.h"

namespace tavelo::script {
namespace {

TextFile* text_file_at(host::Engine& engine, const CallArgs& args, int index) {
  return find_text_file(engine.script.text_files, args.int_at(index));
}

CallStatus sys_text_file_create(host::Engine& engine, CallArgs& args) {
  std::string path = dialogs::choose_text_save_path(engine, args.text_at(1));
  std::optional<platform::File> file;
  if (std::optional<std::string> host_path = resources::to_host_path_for_create(engine, path)) {
    file = platform::File::open(*host_path, platform::OpenMode::Write);
  }
  args.return_int(add_text_file(engine.script.text_files, TextFileMode::Write, std::move(file)));
  return CallStatus::Done;
}

CallStatus sys_text_file_write(host::Engine& engine, CallArgs& args) {
  if (TextFile* file = text_file_at(engine, args, 1)) {
    // A failed write has no script-visible result; the handle comes back either way.
    (void)write_text_line(*file, args.text_at(2));
  }
  args.return_int(args.int_at(1));
  return CallStatus::Done;
}

CallStatus sys_text_file_open(host::Engine& engine, CallArgs& args) {
  std::optional<platform::File> file = resources::find_game_file(engine, args.text_at(1));
  args.return_int(add_text_file(engine.script.text_files, TextFileMode::Read, std::move(file)));
  return CallStatus::Done;
}

CallStatus sys_text_file_close(host::Engine& engine, CallArgs& args) {
  close_text_file(engine.script.text_files, args.int_at(1));
  args.return_int(0);
  return CallStatus::Done;
}

std::optional<std::string> next_field(host::Engine& engine, const CallArgs& args) {
  TextFile* file = text_file_at(engine, args, 1);
  if (!file) return std::nullopt;
  return read_field(engine.resources.lead_bytes, *file);
}

CallStatus sys_text_file_read_int(host::Engine& engine, CallArgs& args) {
  std::optional<std::string> field = next_field(engine, args);
  args.return_int(field ? resources::parse_leading_int(strip_quotes(*field)) : 0);
  return CallStatus::Done;
}

CallStatus sys_text_file_read_field(host::Engine& engine, CallArgs& args) {
  std::optional<std::string> field = next_field(engine, args);
  args.return_text(field ? strip_quotes(*field) : std::string_view{});
  return CallStatus::Done;
}

CallStatus sys_text_file_read_line(host::Engine& engine, CallArgs& args) {
  TextFile* file = text_file_at(engine, args, 1);
  std::optional<std::string> line = file ? read_text_line(*file) : std::nullopt;
  args.return_text(line ? *line : std::string());
  return CallStatus::Done;
}

constexpr std::array kFileSyscalls = {
    SyscallEntry{0xD1921ED9, "", sys_text_file_create},
    SyscallEntry{0x63B8CB23, "", sys_text_file_write},
    SyscallEntry{0xE4E3B40D, "", sys_text_file_open},
    SyscallEntry{0xD6333B3C, "", sys_text_file_close},
    SyscallEntry{0x2539D212, "", sys_text_file_read_int},
    SyscallEntry{0x55232561, "", sys_text_file_read_field},
    SyscallEntry{0x6008BEBB, "", sys_text_file_read_line},
};

}  // namespace

std::span<const SyscallEntry> file_syscalls() { return kFileSyscalls; }

}  // namespace tavelo::script
