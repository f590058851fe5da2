#pragma once
// The read-mark file "savedata\tavelo_readmark.tss": a run of records (a
// 128-byte NUL-terminated script name, u32 bit-array size, u32 line count,
// 12 reserved bytes, the bit array) with no header. The byte-level parser and
// writer work without an engine (the fuzzer and tools use them); load and save
// move the engine's read-mark list (script::Scripts) to and from the file.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "script/read_mark_set.h"

namespace tavelo::script {
struct Machine;
}

namespace tavelo::library {

inline constexpr std::string_view kReadMarkFileName = "savedata\\tavelo_readmark.tss";
inline constexpr size_t kReadMarkNameField = 128;
inline constexpr size_t kReadMarkHeaderSize = 148;

struct ReadMarkFileContent {
  std::vector<script::ReadMarkSet> sets;  // in file order
  size_t dropped = 0;             // records that were unreadable or inconsistent
  bool truncated = false;         // the file ended inside a record
};

// Reads every record. A record whose size field runs past the end ends the
// reading (a torn final write); a record whose bit array cannot hold its line
// count, or whose name is empty or unterminated, is skipped by its size and
// counted in dropped. A line count above kMaxLineCount is cut to it. Every
// set comes back with read_mark_bytes(line_count) bytes of bits, so later
// marking stays in bounds.
ReadMarkFileContent parse_read_mark_file(std::span<const uint8_t> file);

// The file image of sets in the given order; reserved fields are zero.
std::vector<uint8_t> write_read_mark_file(std::span<const std::unique_ptr<script::ReadMarkSet>> sets);

// Reads the file into the read-mark list once per engine (start-up calls it
// after loading the start script); later calls do nothing. Records go to the
// head of the list (the list ends up in reverse file order). A record for a
// name that already has a set (the start script's) merges its bits into that set when the
// line counts agree and is dropped otherwise, so the set the script holds
// keeps its earlier marks.
void load_read_marks(script::Machine& machine);

// At shutdown: writes the list in list order, replacing the file atomically,
// unless LOADSAVEDISABLE is set or the list is empty; then frees the list.
// A file that cannot be written loses the marks of this run silently.
void save_read_marks(script::Machine& machine);

}  // namespace tavelo::library
