// Script access to the search list. Scripts may pass a path or a file name
// with extension; only the bare name is registered ("data\\data3.arc" is the
// entry "data3").

#include <array>

#include "resources/multibyte.h"
#include "resources/search_list.h"
#include "resources/state.h"
#include "script/game_files.h"
#include "script/state.h"
#include "library/syscalls.h"

namespace tavelo::library {
namespace {

using script::CallArgs;
using script::CallStatus;
using script::SyscallEntry;
using script::SyscallFlags;
using script::register_search_entry;

std::string_view entry_name_argument(const CallArgs& args) {
  return resources::file_name_part(args.machine.resources.lead_bytes, args.text_at(1), resources::Extension::Strip);
}

CallStatus sys_search_entry_add(host::Engine&, CallArgs& args) {
  (void)register_search_entry(args.machine, entry_name_argument(args), resources::SoundOnly::No);
  return args.done(0);
}

CallStatus sys_search_entry_unload(host::Engine&, CallArgs& args) {
  resources::search_entry_unload(args.machine.resources, entry_name_argument(args));
  return args.done(0);
}

constexpr std::array<SyscallEntry, 2> kSearchSyscalls = {{
    {0x4FAC462Cu, "search_entry_add", sys_search_entry_add, SyscallFlags::None,
     "str name -> int 0; registers the directory or archive of that file name (path and extension dropped)"},
    {0xF4BB403Du, "search_entry_unload", sys_search_entry_unload, SyscallFlags::None,
     "str name -> int 0; unloads that entry"},
}};

}  // namespace

std::span<const SyscallEntry> search_syscalls() { return kSearchSyscalls; }

}  // namespace tavelo::library
