// Script access to the search list. Scripts may pass a path or a file name
// with extension; only the bare name is registered ("data\\data3.arc" is the
// entry "data3").

#include "resources/syscalls.h"

#include <array>

#include "host/engine.h"
#include "resources/multibyte.h"
#include "resources/search_list.h"

namespace tavelo::resources {
namespace {

std::string_view entry_name_argument(const host::Engine& engine, const script::CallArgs& args) {
  return file_name_part(engine.resources.lead_bytes, args.text_at(1), Extension::Strip);
}

script::CallStatus sys_search_entry_add(host::Engine& engine, script::CallArgs& args) {
  search_entry_add(engine, entry_name_argument(engine, args), SoundOnly::No);
  args.return_int(0);
  return script::CallStatus::Done;
}

script::CallStatus sys_search_entry_unload(host::Engine& engine, script::CallArgs& args) {
  search_entry_unload(engine, entry_name_argument(engine, args));
  args.return_int(0);
  return script::CallStatus::Done;
}

// Scripts know these calls by key only.
constexpr std::array<script::SyscallEntry, 2> kSyscalls = {{
    {0x4FAC462Cu, "", sys_search_entry_add},
    {0xF4BB403Du, "", sys_search_entry_unload},
}};

}  // namespace

std::span<const script::SyscallEntry> syscalls() { return kSyscalls; }

}  // namespace tavelo::resources
