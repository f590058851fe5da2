#pragma once
// Random-access reading of a sound file without loading it whole: decoders
// read through a ByteSource, so a sound may come from memory (tests, fuzzing)
// or from an open file or archive entry (platform::File restricted to the
// entry's window). A source is used by one thread at a time.

#include <cstdint>
#include <span>

#include "platform/file_system.h"

namespace tavelo::audio {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // Reads up to buffer.size() bytes at offset; returns the number read, short
  // at the end of the source or after a read error.
  virtual size_t read_at(uint64_t offset, std::span<uint8_t> buffer) = 0;
};

// Bytes owned by the caller, who keeps them alive as long as the source.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
  uint64_t size() const override { return m_bytes.size(); }
  size_t read_at(uint64_t offset, std::span<uint8_t> buffer) override;

 private:
  std::span<const uint8_t> m_bytes;
};

// An open file (or archive entry), kept open for the life of the source.
class FileSource final : public ByteSource {
 public:
  explicit FileSource(platform::File&& file) : m_file(std::move(file)) {}
  uint64_t size() const override { return m_file.length(); }
  size_t read_at(uint64_t offset, std::span<uint8_t> buffer) override;

 private:
  platform::File m_file;
};

}  // namespace tavelo::audio
