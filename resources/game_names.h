#pragma once
// How file names become lookup keys, and which names the directory scanner
// leaves out. The engine's scanner and the archive tool share these rules, so
// an archive built from a directory answers exactly the lookups the directory
// would have answered.

#include <cstdint>
#include <string>
#include <string_view>

#include "resources/multibyte.h"

namespace tavelo::platform {
class TextEncoding;
}

namespace tavelo::resources {

// The key a file is found by: the name hash of its name and extension without
// any directory part, lower-cased (ASCII letters only; both bytes of a
// double-byte character stay as they are).
uint32_t lookup_key(const LeadByteTable& lead, std::string_view name);

// An on-disk name (UTF-8) in the game code page. A name that is not valid
// UTF-8, or has no counterpart in the code page, stays as it is, so it still
// gets a stable key.
std::string game_name_from_disk(const platform::TextEncoding& encoding, std::string_view disk_name);

// Directory-scan exclusions, for names in the game code page. Subdirectories
// ending in ".", named "debuginfo" or "mdb" (any case) or containing "backup"
// (this case only) hold tool output, not game data.
bool is_skipped_directory(const LeadByteTable& lead, std::string_view name);
// Files with the extensions of shortcuts, programs, logs, debugger databases,
// script sources and plain text are never game data.
bool is_skipped_file(const LeadByteTable& lead, std::string_view name);

// ".wav" or ".ogg" (any case) after the last dot of the last path component:
// such names are looked up in the registered places before the base directory.
bool is_sound_file(const LeadByteTable& lead, std::string_view name);

// Whether the name has a directory part: a `\` that is not the second byte of
// a double-byte character.
bool has_directory_part(const LeadByteTable& lead, std::string_view name);

}  // namespace tavelo::resources
