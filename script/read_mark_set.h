#pragma once
// The read-mark set of one script name: one bit per line number, set when the
// main thread has shown that line. The loader creates and attaches the sets;
// they are keyed by name so that marks outlive a reload of the script, and the
// read-mark code saves and restores them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavelo::script {

struct ReadMarkSet {
  std::string name;  // normalized script name (START.TVO), at most 127 bytes
  uint32_t line_count = 0;
  // Bit n is byte n / 8, bit n % 8 (least significant first). Holds
  // read_mark_bytes(line_count) bytes: 16 spare bytes beyond what the count needs.
  std::vector<uint8_t> bits;
};

// Line numbers are 16-bit, so no script has more lines than this. A larger
// count in a script or read-mark file is damage; it is cut to this before
// anything is allocated for it (the bits of 4 billion lines are 512 MiB).
inline constexpr uint32_t kMaxLineCount = 65536;

constexpr size_t read_mark_bytes(uint32_t line_count) { return (size_t(line_count) + 7) / 8 + 16; }

}  // namespace tavelo::script
