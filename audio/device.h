#pragma once
// The engine's sound "device": one looping ring buffer per stream (the
// device buffer) and the mixer that plays them. Every buffer holds PCM in its
// stream's format; render_device reads each playing buffer at its play
// cursor, converts it to the device rate with libswresample when its
// frequency differs from the device's, applies volume and pan, sums and clips.
//
// Everything here is guarded by the output state's device lock (see
// audio/output.h); these functions assume the caller holds it.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "audio/resampler.h"
#include "audio/sound_format.h"
#include "audio/volume.h"

namespace tavelo::audio {

// The mix: signed 16-bit, interleaved.
struct DeviceFormat {
  int32_t sample_rate = 44100;  // Hz
  int32_t channels = 2;
  bool operator==(const DeviceFormat&) const = default;
};

// Formats to ask the platform for, best first.
inline constexpr DeviceFormat kDeviceFormats[] = {{44100, 2}, {22050, 2}, {22050, 1}};

// Every device buffer has this many bytes, whatever its format.
inline constexpr uint32_t kRingBytes = 705600;

struct DeviceBuffer {
  int32_t stream_id = 0;
  PcmFormat format;
  std::vector<uint8_t> ring;  // kRingBytes, filled with silence at creation
  uint32_t play_cursor = 0;   // bytes; the mixer's next read
  bool playing = false;
  int32_t attenuation = kSilentAttenuation;  // hundredths of dB, as last set
  bool attenuation_set = false;
  int32_t pan = 0;        // hundredths of dB, -10 000 (left only) to 10 000 (right only)
  int32_t frequency = 0;  // Hz the data plays at
  Resampler resampler;    // ring data at `frequency` to float at the device rate
};

struct Device {
  DeviceFormat format;
  bool ready = false;
  std::vector<std::unique_ptr<DeviceBuffer>> buffers;
  // Scratch of render_device, kept to avoid allocating on every callback.
  std::vector<float> mix;
  std::vector<float> converted;
};

// Creates a stopped buffer filled with silence, at the format's own rate.
DeviceBuffer& create_device_buffer(Device& device, PcmFormat format, int32_t stream_id);
void release_device_buffer(Device& device, const DeviceBuffer& buffer);

// Copies bytes into the ring at cursor, wrapping at its end; returns the
// cursor after them. bytes must not exceed kRingBytes.
uint32_t write_ring(DeviceBuffer& buffer, uint32_t cursor, std::span<const uint8_t> bytes);

// Sets the attenuation, nudged by one when it repeats the last value set
// (see device_attenuation).
void set_buffer_attenuation(DeviceBuffer& buffer, int32_t attenuation);
void set_buffer_pan(DeviceBuffer& buffer, int32_t pan);
// 0 restores the format's own rate; other values outside kMinFrequency ..
// kMaxFrequency are refused (false) and change nothing.
bool set_buffer_frequency(DeviceBuffer& buffer, int32_t frequency);

// Fills output (whole frames of the device format) with the mix of every
// playing buffer and advances their play cursors. Silence when the device is
// not ready.
void render_device(Device& device, std::span<int16_t> output);

}  // namespace tavelo::audio
