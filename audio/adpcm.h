#pragma once
// Microsoft ADPCM: 4-bit samples predicted from the two previous ones with a
// coefficient pair chosen per block and channel. Pure block decoding, used by
// the WAV decoder.
//
// Block layout (channels c): c predictor indices (u8), c initial step sizes
// (i16), c "sample 1" values and c "sample 2" values (i16, sample 2 is the
// older one and is output first), then 4-bit codes, high nibble first,
// channels interleaved.

#include <array>
#include <cstdint>
#include <span>

namespace tavelo::audio {

using AdpcmCoefficients = std::array<int16_t, 2>;

// Bytes of a block's header for that many channels.
inline constexpr int32_t adpcm_header_bytes(int32_t channels) { return 7 * channels; }
// Frames (samples per channel) a block of block_align bytes can hold.
inline constexpr int32_t adpcm_frames_in_block(int32_t block_align, int32_t channels) {
  return 2 + (block_align - adpcm_header_bytes(channels)) * 2 / channels;
}

// Decodes one block into frames * channels interleaved samples. frames must
// not exceed adpcm_frames_in_block(block.size(), channels). Returns false,
// leaving output untouched, when a predictor index is outside the table.
[[nodiscard]] bool decode_adpcm_block(std::span<const uint8_t> block, int32_t channels, int32_t frames,
                                      std::span<const AdpcmCoefficients> table, std::span<int16_t> output);

}  // namespace tavelo::audio
