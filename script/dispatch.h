#pragma once
// The system-call table: every subsystem's table merged into one array sorted
// by key, looked up by binary search. Duplicate keys are a start-up failure.
// The host names the tables (host/syscall_tables.h); the machine only merges
// and looks up.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "script/syscall.h"

namespace tavelo::script {

struct SyscallTable {
  std::vector<SyscallEntry> entries;  // sorted by key
  // Where recently called keys were found, by a hash of the key: indexes into
  // entries, checked against the key on use, so a stale slot costs only the
  // search it saves otherwise.
  std::array<uint32_t, 64> recent{};
};

// One subsystem's table with the name of its owner, for listings.
struct SyscallTablePart {
  std::string_view owner;
  std::span<const SyscallEntry> entries;
};

// Merges the tables. Returns false (and leaves the key in duplicate_key) when
// two entries share a key.
bool build_syscall_table(SyscallTable& table, std::span<const SyscallTablePart> parts,
                         uint32_t* duplicate_key = nullptr);

const SyscallEntry* find_syscall(const SyscallTable& table, uint32_t key);
// The same through the recent slots: the interpreter's lookup. The slot
// check is inline; a miss searches and remembers where the key was found.
const SyscallEntry* find_and_remember_syscall(SyscallTable& table, uint32_t key, uint32_t& slot);
inline const SyscallEntry* find_syscall_cached(SyscallTable& table, uint32_t key) {
  uint32_t& slot = table.recent[(key * 0x9E3779B1u) >> 26];
  if (slot < table.entries.size() && table.entries[slot].key == key) [[likely]] return &table.entries[slot];
  return find_and_remember_syscall(table, key, slot);
}
const SyscallEntry* find_syscall_by_name(const SyscallTable& table, std::string_view name);

}  // namespace tavelo::script
