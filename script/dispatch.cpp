// System-call table assembly and lookup.

#include "script/dispatch.h"

#include <algorithm>

#include "graphics/syscalls.h"
#include "resources/syscalls.h"
#include "script/syscalls.h"

namespace tavelo::script {

// Every subsystem's table. Add a subsystem's syscalls() here when it has one.
std::vector<SyscallTablePart> syscall_table_parts() {
  return {
      {"script: machine", machine_syscalls()},
      {"script: debug", debug_syscalls()},
      {"graphics: pages", graphics::page_syscalls()},
      {"script: standard", standard_syscalls()},
      {"script: strings", string_syscalls()},
      {"script: text files", file_syscalls()},
      {"resources", resources::syscalls()},
      {"script: skip", skip_syscalls()},
  };
}

bool build_syscall_table(SyscallTable& table, uint32_t* duplicate_key) {
  table.entries.clear();
  for (const SyscallTablePart& part : syscall_table_parts()) {
    table.entries.insert(table.entries.end(), part.entries.begin(), part.entries.end());
  }
  std::sort(table.entries.begin(), table.entries.end(),
            [](const SyscallEntry& a, const SyscallEntry& b) { return a.key < b.key; });
  for (size_t i = 1; i < table.entries.size(); ++i) {
    if (table.entries[i].key == table.entries[i - 1].key) {
      if (duplicate_key) *duplicate_key = table.entries[i].key;
      return false;
    }
  }
  return true;
}

const SyscallEntry* find_syscall(const SyscallTable& table, uint32_t key) {
  auto it = std::lower_bound(table.entries.begin(), table.entries.end(), key,
                             [](const SyscallEntry& entry, uint32_t k) { return entry.key < k; });
  return it != table.entries.end() && it->key == key ? &*it : nullptr;
}

const SyscallEntry* find_syscall_by_name(const SyscallTable& table, std::string_view name) {
  if (name.empty()) return nullptr;
  for (const SyscallEntry& entry : table.entries) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

}  // namespace tavelo::script
