// Arbitrary bytes as a read-mark file. Every set that comes back must have a
// bit array that covers its line count, and writing the sets and reading them
// again must give the same sets.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "library/read_mark_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo::library;
  using tavelo::script::ReadMarkSet;
  using tavelo::script::read_mark_bytes;
  ReadMarkFileContent content = parse_read_mark_file(std::span<const uint8_t>(data, size));
  std::vector<std::unique_ptr<ReadMarkSet>> list;
  for (const ReadMarkSet& set : content.sets) {
    if (set.name.empty() || set.name.size() >= kReadMarkNameField) __builtin_trap();
    if (set.bits.size() != read_mark_bytes(set.line_count)) __builtin_trap();
    // Bits come from the file, never from the line count alone.
    if (set.bits.size() > size + 16) __builtin_trap();
    list.push_back(std::make_unique<ReadMarkSet>(set));
  }
  std::vector<uint8_t> written = write_read_mark_file(list);
  ReadMarkFileContent again = parse_read_mark_file(written);
  if (again.truncated || again.dropped != 0 || again.sets.size() != content.sets.size()) __builtin_trap();
  for (size_t i = 0; i < again.sets.size(); ++i) {
    const ReadMarkSet& a = again.sets[i];
    const ReadMarkSet& b = content.sets[i];
    if (a.name != b.name || a.line_count != b.line_count || a.bits != b.bits) __builtin_trap();
  }
  return 0;
}
