#include "audio/byte_source.h"

#include <algorithm>
#include <cstring>

namespace tavelo::audio {

size_t MemorySource::read_at(uint64_t offset, std::span<uint8_t> buffer) {
  if (offset >= m_bytes.size()) return 0;
  size_t count = size_t(std::min<uint64_t>(buffer.size(), m_bytes.size() - offset));
  std::memcpy(buffer.data(), m_bytes.data() + offset, count);
  return count;
}

size_t FileSource::read_at(uint64_t offset, std::span<uint8_t> buffer) {
  if (offset >= m_file.length() || !m_file.seek(offset)) return 0;
  return m_file.read(buffer);
}

}  // namespace tavelo::audio
