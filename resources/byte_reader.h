#pragma once
// Bounds-checked little-endian reading and writing of binary formats. A failed
// read returns 0 (or an empty span) and sets a sticky ok = false, which the
// caller checks once per header or record.

#include <cstdint>
#include <bit>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

namespace tavelo::resources {

struct ByteReader {
  std::span<const uint8_t> bytes;
  size_t position = 0;
  bool ok = true;

  explicit ByteReader(std::span<const uint8_t> data) : bytes(data) {}

  size_t remaining() const { return position <= bytes.size() ? bytes.size() - position : 0; }
  bool at_end() const { return position >= bytes.size(); }

  std::span<const uint8_t> take(size_t count) {
    if (!ok || count > remaining()) {
      ok = false;
      return {};
    }
    std::span<const uint8_t> result = bytes.subspan(position, count);
    position += count;
    return result;
  }
  void skip(size_t count) { take(count); }
  uint8_t u8() {
    std::span<const uint8_t> b = take(1);
    return b.empty() ? 0 : b[0];
  }
  uint16_t u16le() {
    std::span<const uint8_t> b = take(2);
    return b.empty() ? 0 : uint16_t(b[0] | b[1] << 8);
  }
  uint32_t u32le() {
    std::span<const uint8_t> b = take(4);
    return b.empty() ? 0 : uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  }
  int16_t i16le() { return int16_t(u16le()); }
  int32_t i32le() { return int32_t(u32le()); }
  float f32le() {
    uint32_t bits = u32le();
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
  }
};

struct ByteWriter {
  std::vector<uint8_t> bytes;

  void u8(uint8_t value) { bytes.push_back(value); }
  void u16le(uint16_t value) {
    bytes.push_back(uint8_t(value));
    bytes.push_back(uint8_t(value >> 8));
  }
  void u32le(uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(value >> (8 * i)));
  }
  void i16le(int16_t value) { u16le(uint16_t(value)); }
  void i32le(int32_t value) { u32le(uint32_t(value)); }
  void f32le(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    u32le(bits);
  }
  void append(std::span<const uint8_t> data) { bytes.insert(bytes.end(), data.begin(), data.end()); }
  void append(std::string_view text) { bytes.insert(bytes.end(), text.begin(), text.end()); }
  // Overwrites 4 bytes at offset (for sizes known only at the end).
  void patch_u32le(size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + size_t(i)] = uint8_t(value >> (8 * i));
  }
};

// Unaligned little-endian loads for hot loops (memcpy compiles to one move).
static_assert(std::endian::native == std::endian::little, "the hot-loop loaders assume a little-endian host");
inline uint16_t load_u16le(const uint8_t* p) {
  uint16_t value;
  std::memcpy(&value, p, 2);
  return value;
}
inline uint32_t load_u32le(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, 4);
  return value;
}
inline void store_u32le(uint8_t* p, uint32_t value) { std::memcpy(p, &value, 4); }
inline void store_u16le(uint8_t* p, uint16_t value) { std::memcpy(p, &value, 2); }

}  // namespace tavelo::resources
