#pragma once
// The system save "savedata\tavelo_system.tss": what outlives every single
// game — the eternal variables and the persistent name set (10 000 name
// hashes scripts mark as seen). A 40 024-byte fixed part (magic, record count,
// payload size, the name set), then the eternal value records and their
// payload as save files store them. Pure byte work; persistence/persistence.h
// reads it once per process and writes it after every save and at shutdown.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "persistence/stored_values.h"

namespace tavelo::persistence {

inline constexpr std::string_view kSystemSaveMagic{"TaveloSysV1.100\0", 16};
inline constexpr std::string_view kSystemSaveName = "savedata\\tavelo_system.tss";
inline constexpr size_t kNameSetSize = 10000;
inline constexpr size_t kSystemSaveFixedSize = 40024;

// 0 marks an empty slot; filled from the front, never emptied.
using NameSet = std::array<uint32_t, kNameSetSize>;

std::vector<uint8_t> write_system_save(const NameSet& names, std::span<const script::Value> eternal);

enum class SystemSaveStatus {
  Ok,
  Foreign,   // shorter than the fixed part, or another magic: nothing is taken
  Damaged,   // the name set is taken, the eternal records are not
};

// Reads the name set and the eternal records (in eternal scope). names and
// eternal are only filled as the status says.
SystemSaveStatus parse_system_save(std::span<const uint8_t> file, NameSet& names, ValueList& eternal);

// The name a script marks, as the set keys it: cut at its first ".",
// ASCII letters lower-cased, name-hashed. A name whose hash is 0 would look
// like an empty slot; it is never marked.
uint32_t marked_name_hash(std::string_view name);
// 0 added or present, -1 when the set is full (or the hash is 0).
int32_t mark_name(NameSet& names, uint32_t hash);
bool is_name_marked(const NameSet& names, uint32_t hash);

}  // namespace tavelo::persistence
