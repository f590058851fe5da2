#include "audio/wave.h"

#include <algorithm>
#include <cstring>

#include "resources/byte_reader.h"

namespace tavelo::audio {
namespace {

// Refill sizes: PCM reads 35 280 bytes (0.2 s of 44.1 kHz 16-bit stereo),
// ADPCM a quarter of that, since it expands about fourfold.
constexpr uint32_t kPcmChunkBytes = 35280;
constexpr uint32_t kAdpcmChunkBytes = 8820;
// The format block is at most a few dozen bytes in practice; larger "fmt "
// chunks are read only this far (the ADPCM table fits with room to spare).
constexpr uint32_t kMaxFormatBytes = 4096;

constexpr uint32_t fourcc(const char (&text)[5]) {
  return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 | uint32_t(uint8_t(text[2])) << 16 |
         uint32_t(uint8_t(text[3])) << 24;
}

// Whole blocks of at most limit bytes, but never less than one block, so a
// refill always makes progress through the data.
uint32_t whole_blocks(uint32_t limit, uint32_t block_align) {
  return std::max(block_align, limit - limit % block_align);
}

Status check_format(WaveInfo& info, std::span<const uint8_t> extra) {
  if (info.channels != 1 && info.channels != 2) return Status::BadFormat;
  if (info.sample_rate < uint32_t(kMinFrequency) || info.sample_rate > uint32_t(kMaxFrequency)) {
    return Status::BadFormat;
  }
  if (info.block_align == 0) return Status::BadFormat;
  info.output = PcmFormat{info.channels, int32_t(info.sample_rate), 16};

  if (info.format_tag == kWaveFormatPcm) {
    if (info.bits_per_sample != 8 && info.bits_per_sample != 16) return Status::BadFormat;
    info.output.bits_per_sample = info.bits_per_sample;
    if (info.block_align != info.output.block_align()) return Status::BadFormat;
    info.encoding = WaveEncoding::Pcm;
    info.input_chunk = info.output_chunk = whole_blocks(kPcmChunkBytes, info.block_align);
    return Status::Ok;
  }

  if (info.format_tag == kWaveFormatMsAdpcm) {
    // Blocks larger than one refill would make one chunk outgrow the ring's
    // refill margin; encoders write 256 to 2 048 bytes.
    if (info.block_align < adpcm_header_bytes(info.channels) || info.block_align > kAdpcmChunkBytes) {
      return Status::BadFormat;
    }
    resources::ByteReader reader(extra);
    int32_t declared_frames = reader.u16le();
    uint16_t coefficient_count = reader.u16le();
    if (!reader.ok || reader.remaining() < size_t(coefficient_count) * 4) return Status::BadFormat;
    info.coefficients.resize(coefficient_count);
    for (AdpcmCoefficients& pair : info.coefficients) {
      pair[0] = reader.i16le();
      pair[1] = reader.i16le();
    }
    // The declared count is trusted only while the block really holds that
    // many frames; otherwise the block's own capacity decides.
    int32_t capacity = adpcm_frames_in_block(info.block_align, info.channels);
    info.frames_per_block = declared_frames >= 2 && declared_frames <= capacity ? declared_frames : capacity;
    info.encoding = WaveEncoding::MsAdpcm;
    info.input_chunk = whole_blocks(kAdpcmChunkBytes, info.block_align);
    info.output_chunk = info.input_chunk / info.block_align * uint32_t(info.frames_per_block) *
                        uint32_t(info.output.block_align());
    return Status::Ok;
  }

  // Encodings we do not decode play as silence of about the right length.
  info.encoding = WaveEncoding::Silent;
  info.input_chunk = whole_blocks(kPcmChunkBytes, info.block_align);
  info.output_chunk = kPcmChunkBytes;
  return Status::Ok;
}

}  // namespace

Result<WaveInfo> parse_wave(ByteSource& source) {
  Result<WaveInfo> result;
  WaveInfo& info = result.value;
  const uint64_t size = source.size();

  uint8_t header[12];
  if (source.read_at(0, header) != sizeof header) return {Status::NotThisKind};
  resources::ByteReader riff(header);
  if (riff.u32le() != fourcc("RIFF")) return {Status::NotThisKind};
  riff.skip(4);  // the RIFF size: files in the wild get it wrong, the chunks decide
  if (riff.u32le() != fourcc("WAVE")) return {Status::NotThisKind};

  bool have_format = false;
  std::vector<uint8_t> format_bytes;
  uint64_t position = 12;
  while (position + 8 <= size) {
    uint8_t chunk_header[8];
    if (source.read_at(position, chunk_header) != sizeof chunk_header) return {Status::IoError};
    resources::ByteReader reader(chunk_header);
    uint32_t id = reader.u32le();
    uint32_t chunk_size = reader.u32le();
    uint64_t body = position + 8;

    if (id == fourcc("fmt ")) {
      if (chunk_size < 16) return {Status::BadFormat};
      format_bytes.resize(std::min(chunk_size, kMaxFormatBytes));
      if (body + format_bytes.size() > size) return {Status::Truncated};
      if (source.read_at(body, format_bytes) != format_bytes.size()) return {Status::IoError};
      resources::ByteReader format(format_bytes);
      info.format_tag = format.u16le();
      info.channels = format.u16le();
      info.sample_rate = format.u32le();
      format.skip(4);  // bytes per second: derived from the rest when needed
      info.block_align = format.u16le();
      info.bits_per_sample = format.u16le();
      have_format = true;
    } else if (id == fourcc("data") && have_format) {
      std::span<const uint8_t> extra;
      if (format_bytes.size() >= 18) {
        uint16_t extra_size = uint16_t(format_bytes[16] | format_bytes[17] << 8);
        extra = std::span<const uint8_t>(format_bytes).subspan(18);
        extra = extra.first(std::min<size_t>(extra.size(), extra_size));
      }
      Status status = check_format(info, extra);
      if (status != Status::Ok) return {status};
      info.data_offset = body;
      // A size running past the end (streamed writers leave it unset) is cut
      // to the bytes the file really has.
      uint64_t available = std::min<uint64_t>(chunk_size, size - body);
      info.data_size = uint32_t(available - available % info.block_align);
      return result;
    }
    // Chunks start on even offsets; an odd-sized chunk is followed by a pad byte.
    position = body + uint64_t(chunk_size) + (chunk_size & 1);
  }
  return {have_format ? Status::Truncated : Status::BadFormat};
}

void decode_wave_chunk(const WaveInfo& info, std::span<const uint8_t> input, std::vector<uint8_t>& output) {
  size_t blocks = input.size() / info.block_align;
  switch (info.encoding) {
    case WaveEncoding::Pcm:
      output.assign(input.begin(), input.begin() + blocks * info.block_align);
      return;
    case WaveEncoding::Silent:
      // As long as a PCM chunk of the same size would last.
      output.assign(input.size() * info.output_chunk / info.input_chunk, 0);
      output.resize(output.size() - output.size() % size_t(info.output.block_align()));
      return;
    case WaveEncoding::MsAdpcm: {
      const size_t block_samples = size_t(info.frames_per_block) * info.channels;
      output.assign(blocks * block_samples * 2, 0);
      std::vector<int16_t> samples(block_samples);
      for (size_t b = 0; b < blocks; ++b) {
        std::span<const uint8_t> block = input.subspan(b * info.block_align, info.block_align);
        if (!decode_adpcm_block(block, info.channels, info.frames_per_block, info.coefficients, samples)) {
          return;  // the rest stays silent
        }
        std::memcpy(output.data() + b * block_samples * 2, samples.data(), block_samples * 2);
      }
      return;
    }
  }
}

}  // namespace tavelo::audio
