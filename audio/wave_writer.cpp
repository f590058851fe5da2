// RIFF WAVE output.

#include "audio/wave_writer.h"

#include "resources/byte_reader.h"

namespace tavelo::audio {
namespace {

constexpr uint32_t kHeaderBytes = 44;
constexpr uint64_t kMaxDataBytes = UINT32_MAX - kHeaderBytes;

std::vector<uint8_t> header(int32_t sample_rate, int32_t channels, uint32_t data_bytes) {
  resources::ByteWriter out;
  out.append(std::string_view("RIFF"));
  out.u32le(data_bytes + kHeaderBytes - 8);
  out.append(std::string_view("WAVE"));
  out.append(std::string_view("fmt "));
  out.u32le(16);
  out.u16le(1);  // PCM
  out.u16le(uint16_t(channels));
  out.u32le(uint32_t(sample_rate));
  out.u32le(uint32_t(sample_rate * channels * 2));
  out.u16le(uint16_t(channels * 2));
  out.u16le(16);
  out.append(std::string_view("data"));
  out.u32le(data_bytes);
  return out.bytes;
}

}  // namespace

std::optional<WaveWriter> open_wave_writer(const std::string& host_path, int32_t sample_rate, int32_t channels) {
  std::optional<platform::File> file = platform::File::open(host_path, platform::OpenMode::Write);
  if (!file) return std::nullopt;
  WaveWriter writer;
  writer.file = std::move(*file);
  writer.sample_rate = sample_rate;
  writer.channels = channels;
  if (!writer.file.write(header(sample_rate, channels, 0))) return std::nullopt;
  return writer;
}

void append_samples(WaveWriter& writer, std::span<const int16_t> samples) {
  uint64_t room = (kMaxDataBytes - writer.data_bytes) / 2;
  if (samples.size() > room) samples = samples.first(size_t(room));
  resources::ByteWriter out;
  out.bytes.swap(writer.scratch);
  out.bytes.clear();
  for (int16_t sample : samples) out.i16le(sample);
  if (!writer.file.write(out.bytes)) writer.failed = true;
  writer.data_bytes += out.bytes.size();
  writer.scratch.swap(out.bytes);
}

bool finish_wave(WaveWriter& writer) {
  if (!writer.file.seek(0) || !writer.file.write(header(writer.sample_rate, writer.channels, uint32_t(writer.data_bytes)))) {
    writer.failed = true;
  }
  writer.file.close();
  return !writer.failed;
}

}  // namespace tavelo::audio
