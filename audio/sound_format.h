#pragma once
// PCM formats shared by the audio modules (what a decoder produces, what a
// device buffer holds), and the typed result every sound parser returns.
// Used by the decoders, the output layer and the mixer.

#include <cstdint>

namespace tavelo::audio {

// Frequencies a device buffer accepts, in Hz. Files and frequency requests
// outside this range are refused rather than played at a nonsense rate.
inline constexpr int32_t kMinFrequency = 100;
inline constexpr int32_t kMaxFrequency = 200000;

// Linear PCM, interleaved: 8-bit samples are unsigned (silence 0x80), 16-bit
// samples are signed little-endian. Only 1 or 2 channels are played.
struct PcmFormat {
  int32_t channels = 2;
  int32_t sample_rate = 44100;  // Hz
  int32_t bits_per_sample = 16;

  int32_t block_align() const { return channels * bits_per_sample / 8; }
  int32_t bytes_per_second() const { return block_align() * sample_rate; }
  uint8_t silence_byte() const { return bits_per_sample == 8 ? 0x80 : 0x00; }
  bool operator==(const PcmFormat&) const = default;
};

// True for the formats the mixer can play.
inline bool is_playable(const PcmFormat& format) {
  return (format.channels == 1 || format.channels == 2) &&
         (format.bits_per_sample == 8 || format.bits_per_sample == 16) && format.sample_rate >= kMinFrequency &&
         format.sample_rate <= kMaxFrequency;
}

enum class Status {
  Ok,
  NotFound,     // the file layer has no such file
  NotThisKind,  // the bytes are not a file of the kind asked for
  BadFormat,    // the right kind of file, with fields we cannot use
  Truncated,    // a header runs past the end of the file
  IoError,      // reading failed
};

template <typename T>
struct Result {
  Status status = Status::Ok;
  T value{};
  bool ok() const { return status == Status::Ok; }
};

}  // namespace tavelo::audio
