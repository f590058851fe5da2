// System-call table assembly and lookup.

#include "script/dispatch.h"

#include <algorithm>

namespace tavelo::script {

bool build_syscall_table(SyscallTable& table, std::span<const SyscallTablePart> parts, uint32_t* duplicate_key) {
  table.entries.clear();
  for (const SyscallTablePart& part : parts) {
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

const SyscallEntry* find_and_remember_syscall(SyscallTable& table, uint32_t key, uint32_t& slot) {
  const SyscallEntry* entry = find_syscall(table, key);
  if (entry) slot = uint32_t(entry - table.entries.data());
  return entry;
}

const SyscallEntry* find_syscall_by_name(const SyscallTable& table, std::string_view name) {
  if (name.empty()) return nullptr;
  for (const SyscallEntry& entry : table.entries) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

}  // namespace tavelo::script
