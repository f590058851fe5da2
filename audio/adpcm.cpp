#include "audio/adpcm.h"

#include <algorithm>
#include <cassert>

#include "resources/byte_reader.h"

namespace tavelo::audio {
namespace {

// How the step size grows or shrinks after each code (in 1/256 units).
constexpr int32_t kAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};
constexpr int32_t kMinStep = 16;
// A step grows by at most 768/256 per code; this cap keeps the product of a
// step and a code far inside 32 bits for any file.
constexpr int32_t kMaxStep = INT32_MAX / 768;

struct ChannelState {
  int32_t coefficient1 = 0;
  int32_t coefficient2 = 0;
  int32_t step = 0;
  int32_t sample1 = 0;  // newest
  int32_t sample2 = 0;
};

int16_t expand_code(ChannelState& channel, int32_t code) {
  int32_t signed_code = code >= 8 ? code - 16 : code;
  // The coefficients are in 1/256 units; the reference decoder shifts, so the
  // prediction rounds down (not toward zero).
  int64_t predicted = (int64_t(channel.sample1) * channel.coefficient1 +
                       int64_t(channel.sample2) * channel.coefficient2) >> 8;
  int64_t sample = std::clamp<int64_t>(predicted + int64_t(signed_code) * channel.step, INT16_MIN, INT16_MAX);
  channel.sample2 = channel.sample1;
  channel.sample1 = int32_t(sample);
  channel.step = std::clamp(int32_t(int64_t(kAdaptation[code]) * channel.step / 256), kMinStep, kMaxStep);
  return int16_t(sample);
}

}  // namespace

bool decode_adpcm_block(std::span<const uint8_t> block, int32_t channels, int32_t frames,
                        std::span<const AdpcmCoefficients> table, std::span<int16_t> output) {
  assert(channels == 1 || channels == 2);
  assert(frames >= 2 && frames <= adpcm_frames_in_block(int32_t(block.size()), channels));
  assert(output.size() >= size_t(frames) * size_t(channels));

  resources::ByteReader reader(block);
  ChannelState state[2];
  for (int32_t c = 0; c < channels; ++c) {
    uint8_t index = reader.u8();
    if (index >= table.size()) return false;
    state[c].coefficient1 = table[index][0];
    state[c].coefficient2 = table[index][1];
  }
  for (int32_t c = 0; c < channels; ++c) state[c].step = reader.i16le();
  for (int32_t c = 0; c < channels; ++c) state[c].sample1 = reader.i16le();
  for (int32_t c = 0; c < channels; ++c) state[c].sample2 = reader.i16le();

  for (int32_t c = 0; c < channels; ++c) {
    output[size_t(c)] = int16_t(state[c].sample2);
    output[size_t(channels + c)] = int16_t(state[c].sample1);
  }
  const uint8_t* codes = block.data() + adpcm_header_bytes(channels);
  size_t sample_count = size_t(frames) * size_t(channels);
  for (size_t i = size_t(2 * channels), nibble = 0; i < sample_count; ++i, ++nibble) {
    uint8_t byte = codes[nibble / 2];
    int32_t code = nibble % 2 == 0 ? byte >> 4 : byte & 0x0F;
    output[i] = expand_code(state[i % size_t(channels)], code);
  }
  return true;
}

}  // namespace tavelo::audio
