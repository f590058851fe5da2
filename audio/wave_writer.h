#pragma once
// Writes the mixed output to a RIFF WAVE file (16-bit PCM) as it is
// produced: a header with the sizes left open, the samples appended, and the
// sizes filled in when the writer finishes. The host uses it for
// --audio-out, fed by the headless device's sink on the main thread.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace tavelo::audio {

struct WaveWriter {
  platform::File file;
  int32_t sample_rate = 44100;
  int32_t channels = 2;
  uint64_t data_bytes = 0;  // sample bytes written so far
  bool failed = false;      // a write failed; the file is incomplete
  std::vector<uint8_t> scratch;
};

// Creates (or truncates) the file and writes the header. nullopt when the
// file cannot be created.
[[nodiscard]] std::optional<WaveWriter> open_wave_writer(const std::string& host_path, int32_t sample_rate,
                                                         int32_t channels);

// Appends interleaved samples. A file reaches at most 4 GB, the format's
// limit; samples past it are dropped.
void append_samples(WaveWriter& writer, std::span<const int16_t> samples);

// Fills in the sizes and closes the file; false when any write failed.
bool finish_wave(WaveWriter& writer);

}  // namespace tavelo::audio
