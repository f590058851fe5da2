#pragma once
// Every subsystem's system-call table, named for listings, and the engine's
// merged table built from them. Start-up, the tools (assembler, disassembler,
// the system-call listing) and the fuzzers use these.

#include <cstdint>
#include <vector>

#include "script/dispatch.h"

namespace tavelo::host {

// The tables in merge order.
std::vector<script::SyscallTablePart> syscall_table_parts();

// Merges every table; false (and the key in duplicate_key) when two entries
// share a key.
bool build_engine_syscall_table(script::SyscallTable& table, uint32_t* duplicate_key = nullptr);

}  // namespace tavelo::host
