#pragma once
// RIFF WAVE files: the chunk walk that finds the format block and the audio
// data, the chunk sizes a stream reads and produces, and decoding of one
// input chunk (PCM copied, Microsoft ADPCM expanded to 16-bit PCM, other
// encodings played as silence). Pure functions over a ByteSource; called by
// the sound decoder and the fuzz target.

#include <cstdint>
#include <span>
#include <vector>

#include "audio/adpcm.h"
#include "audio/byte_source.h"
#include "audio/sound_format.h"

namespace tavelo::audio {

inline constexpr uint16_t kWaveFormatPcm = 1;
inline constexpr uint16_t kWaveFormatMsAdpcm = 2;

enum class WaveEncoding { Pcm, MsAdpcm, Silent };

struct WaveInfo {
  // The file's own format block.
  uint16_t format_tag = 0;
  uint16_t channels = 0;
  uint32_t sample_rate = 0;
  uint16_t block_align = 0;
  uint16_t bits_per_sample = 0;

  WaveEncoding encoding = WaveEncoding::Pcm;
  PcmFormat output;  // what decoding produces
  uint64_t data_offset = 0;   // absolute, just after the "data" chunk header
  uint32_t data_size = 0;     // whole blocks only, and never past the end of the file
  uint32_t input_chunk = 0;   // bytes read per refill: whole blocks, at least one
  uint32_t output_chunk = 0;  // bytes a full input chunk decodes to, at most 35 280

  // Microsoft ADPCM only.
  int32_t frames_per_block = 0;
  std::vector<AdpcmCoefficients> coefficients;
};

[[nodiscard]] Result<WaveInfo> parse_wave(ByteSource& source);

// Decodes input (whole blocks of the file's data) into output, replacing its
// content. A block whose predictor index is outside the coefficient table
// ends decoding: it and the rest of the chunk become silence.
void decode_wave_chunk(const WaveInfo& info, std::span<const uint8_t> input, std::vector<uint8_t>& output);

}  // namespace tavelo::audio
