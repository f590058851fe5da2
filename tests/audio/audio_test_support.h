#pragma once
// Helpers for the audio tests: sound files made by sox and oggenc (tools
// nobody here wrote) and read back by them, and WAV files built byte by byte
// for the shapes those tools never write.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "resources/byte_reader.h"
#include "tests/support/test_files.h"

namespace tavelo::testing {

inline bool sox(const std::string& arguments) { return run_command("sox " + arguments).exit_status == 0; }

// A file's samples as sox reads them: signed 16-bit, interleaved.
inline std::vector<int16_t> sox_samples(const TempDirectory& directory, const std::string& path) {
  std::string raw = directory.at("sox-dump.raw");
  if (!sox("'" + path + "' -t raw -e signed-integer -b 16 '" + raw + "'")) return {};
  std::vector<uint8_t> bytes = read_bytes(raw);
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

inline std::vector<int16_t> as_samples(const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

struct WaveChunk {
  std::string id;  // four characters
  std::vector<uint8_t> body;
  uint32_t declared_size = UINT32_MAX;  // UINT32_MAX: the body's size
};

// RIFF WAVE with the given chunks in order (odd bodies get their pad byte).
inline std::vector<uint8_t> make_riff(const std::vector<WaveChunk>& chunks) {
  resources::ByteWriter out;
  out.append(std::string_view("RIFF"));
  out.u32le(0);
  out.append(std::string_view("WAVE"));
  for (const WaveChunk& chunk : chunks) {
    out.append(chunk.id);
    out.u32le(chunk.declared_size == UINT32_MAX ? uint32_t(chunk.body.size()) : chunk.declared_size);
    out.append(chunk.body);
    if (chunk.body.size() % 2) out.u8(0);
  }
  out.patch_u32le(4, uint32_t(out.bytes.size() - 8));
  return out.bytes;
}

// A format block: tag, channels, rate, block alignment, bits, then any extra bytes.
inline std::vector<uint8_t> format_block(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t block_align,
                                         uint16_t bits, const std::vector<uint8_t>& extra = {}) {
  resources::ByteWriter out;
  out.u16le(tag);
  out.u16le(channels);
  out.u32le(rate);
  out.u32le(rate * block_align);
  out.u16le(block_align);
  out.u16le(bits);
  if (!extra.empty()) {
    out.u16le(uint16_t(extra.size()));
    out.append(extra);
  }
  return out.bytes;
}

// 16-bit PCM WAV of the given interleaved samples.
inline std::vector<uint8_t> make_pcm16(uint16_t channels, uint32_t rate, const std::vector<int16_t>& samples) {
  std::vector<uint8_t> data(samples.size() * 2);
  std::memcpy(data.data(), samples.data(), data.size());
  return make_riff({{"fmt ", format_block(1, channels, rate, uint16_t(2 * channels), 16)}, {"data", data}});
}

}  // namespace tavelo::testing
