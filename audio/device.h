#pragma once
// The engine's sound "device": one looping ring buffer per stream (the
// device buffer) and the mixer that plays them. Every buffer's ring holds PCM
// in its stream's format. The streaming pass converts each playing ring, from
// a cursor running ahead of the play cursor, into frames at the device rate
// (RateConverter, libswresample when the buffer's frequency differs from the
// device's); render_device only sums those frames with volume and pan, clips,
// and moves the play cursor over the ring bytes they came from.
//
// Locking: everything in Device and DeviceBuffer is guarded by the output
// state's device lock (see audio/output.h) and these functions assume the
// caller holds it, except where a function says otherwise. A RateConverter
// belongs to the streaming pass alone.

#include <array>
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

// How far ahead of the mixer the streaming pass keeps each buffer converted
// to the device rate, in ms. It has to outlast the time between two passes
// (100 ms, more when the machine is busy), and it is how much sound that was
// converted at the old frequency still plays after a frequency change: one
// refill chunk of 44.1 kHz stereo 16-bit data lasts as long.
inline constexpr int32_t kConvertAheadMs = 200;

// A run of converted frames and the ring bytes they were made from, so the
// mixer can move the play cursor over those bytes as it plays the frames.
struct ConvertedSpan {
  uint32_t source_start = 0;  // byte offset in the ring
  uint32_t source_bytes = 0;
  uint32_t frames = 0;  // device-rate frames made from them
};

struct DeviceBuffer {
  int32_t stream_id = 0;
  PcmFormat format;
  std::vector<uint8_t> ring;  // kRingBytes, filled with silence at creation
  uint32_t play_cursor = 0;   // bytes; what the mixer has played up to
  bool playing = false;
  int32_t attenuation = kSilentAttenuation;  // hundredths of dB, as last set
  bool attenuation_set = false;
  int32_t pan = 0;        // hundredths of dB, -10 000 (left only) to 10 000 (right only)
  int32_t frequency = 0;  // Hz the data plays at

  // The ring converted ahead: float samples in the buffer's own channels at
  // the device rate, a ring of capacity_frames frames. The mixer plays
  // frames [played_frames, converted_frames) (counts since creation); the
  // pass appends after converted_frames.
  std::vector<float> converted;
  uint32_t capacity_frames = 0;
  uint64_t converted_frames = 0;
  uint64_t played_frames = 0;
  // The spans of the unplayed frames, oldest first (a small ring of spans);
  // span_played frames of the oldest one have been played.
  std::array<ConvertedSpan, 8> spans{};
  uint32_t first_span = 0;
  uint32_t span_count = 0;
  uint32_t span_played = 0;
};

// The streaming pass's side of one buffer's conversion to the device rate.
// Only the pass touches it, without the device lock: it reads the buffer's
// ring, format and frequency, which only the pass writes.
struct RateConverter {
  Resampler resampler;         // set up while the buffer plays off the device rate
  uint32_t source_cursor = 0;  // ring byte converted next
  // Ring bytes taken and frames made since the last hand-over; frames holds
  // the frames (as `frames.size()` floats).
  ConvertedSpan pending;
  std::vector<float> frames;
};

struct Device {
  DeviceFormat format;
  bool ready = false;
  std::vector<std::unique_ptr<DeviceBuffer>> buffers;
  // Scratch of render_device, kept to avoid allocating on every callback.
  std::vector<float> mix;
};

// Creates a stopped buffer filled with silence, at the format's own rate,
// with room for kConvertAheadMs of frames at the device's rate.
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

// Device-rate frames the buffer lacks to be kConvertAheadMs ahead of the
// mixer; 0 when it has enough or no room for another span.
int32_t frames_to_convert(const Device& device, const DeviceBuffer& buffer);

// Converts ring data from converter.source_cursor on into about `frames`
// device-rate frames, added to converter.frames: at the buffer's frequency,
// whatever the ring holds there, as a device plays its looping buffer. Needs
// no lock (see RateConverter); the frames reach the mixer with
// hand_over_converted.
void convert_ahead(RateConverter& converter, const DeviceBuffer& buffer, int32_t device_rate, int32_t frames);

// Appends the converted frames to the buffer for the mixer.
void hand_over_converted(DeviceBuffer& buffer, RateConverter& converter);

// Fills output (whole frames of the device format) with the mix of every
// playing buffer's converted frames and moves their play cursors. A buffer
// whose converted frames run out (the pass fell behind) is silent for the
// rest and its play cursor waits there. Silence when the device is not ready.
void render_device(Device& device, std::span<int16_t> output);

}  // namespace tavelo::audio
