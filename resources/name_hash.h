#pragma once
// The name hash: the standard reflected CRC-32 (polynomial 0xEDB88320, initial
// value 0xFFFFFFFF, final complement). Functions, variables, events, system
// calls and archive entries are all identified by it. The table's 1024-byte
// little-endian image doubles as the key stream of scrambled compiled scripts.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace tavelo::resources {

constexpr std::array<uint32_t, 256> make_crc_table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
    table[i] = value;
  }
  return table;
}

inline constexpr std::array<uint32_t, 256> kCrcTable = make_crc_table();

constexpr uint32_t crc32_update(uint32_t crc, std::span<const uint8_t> bytes) {
  for (uint8_t byte : bytes) crc = kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  return crc;
}

constexpr uint32_t name_hash(std::string_view name) {
  uint32_t crc = 0xFFFFFFFFu;
  for (char c : name) crc = kCrcTable[(crc ^ uint8_t(c)) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

// Byte i of the table's little-endian image.
constexpr uint8_t crc_table_byte(size_t i) { return uint8_t(kCrcTable[(i / 4) & 0xFF] >> (8 * (i % 4))); }

}  // namespace tavelo::resources
