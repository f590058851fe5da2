// Save fields, written or read in one pass over a block.

#include "resources/save_fields.h"

#include <algorithm>
#include <cstring>

#include "resources/byte_reader.h"

namespace tavelo::resources {

std::span<uint8_t> SaveFields::take(size_t width) {
  if (width > m_block.size() - std::min(m_position, m_block.size())) {
    m_ok = false;
    m_position = m_block.size();
    return {};
  }
  std::span<uint8_t> field = m_block.subspan(m_position, width);
  m_position += width;
  return field;
}

void SaveFields::int32(int32_t& value) {
  std::span<uint8_t> field = take(4);
  if (loading()) {
    value = field.empty() ? 0 : int32_t(load_u32le(field.data()));
  } else if (!field.empty()) {
    store_u32le(field.data(), uint32_t(value));
  }
}

void SaveFields::flag(bool& value) {
  int32_t word = value ? 1 : 0;
  int32(word);
  value = word != 0;
}

void SaveFields::text(std::string& value, size_t width) {
  std::span<uint8_t> field = take(width);
  if (field.empty()) {
    if (loading()) value.clear();
    return;
  }
  if (loading()) {
    const char* bytes = reinterpret_cast<const char*>(field.data());
    value.assign(bytes, strnlen(bytes, width - 1));
  }
  const size_t kept = std::min(value.size(), width - 1);
  std::memcpy(field.data(), value.data(), kept);
  std::memset(field.data() + kept, 0, width - kept);
}

void SaveFields::bytes(std::span<uint8_t> value) {
  std::span<uint8_t> field = take(value.size());
  if (loading()) {
    if (field.empty()) {
      std::fill(value.begin(), value.end(), uint8_t(0));
    } else {
      std::copy(field.begin(), field.end(), value.begin());
    }
  } else {
    std::copy(value.begin(), value.begin() + long(field.size()), field.begin());
  }
}

void SaveFields::unused(size_t width) {
  std::span<uint8_t> field = take(width);
  std::fill(field.begin(), field.end(), uint8_t(0));
}

}  // namespace tavelo::resources
