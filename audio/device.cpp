#include "audio/device.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace tavelo::audio {
namespace {

// Input frames handed to the converter per call at most.
constexpr int64_t kMaxFeedFrames = 8192;
// Calls per buffer and render; the converter needs two or three at most, the
// rest only guards against a library that stops producing.
constexpr int kMaxFeeds = 32;

AudioShape ring_shape(const DeviceBuffer& buffer) {
  return AudioShape{buffer.format.channels,
                    buffer.format.bits_per_sample == 8 ? SampleKind::Unsigned8 : SampleKind::Signed16,
                    buffer.frequency};
}

// A buffer playing at the device rate needs no rate conversion, only its
// samples as floats (exactly as the converter would make them: 16-bit / 32768,
// 8-bit (x - 128) / 128). Most buffers play so; this keeps their cost to a copy.
int32_t copy_frames(Device& device, DeviceBuffer& buffer, int32_t frames) {
  const size_t samples = size_t(frames) * size_t(buffer.format.channels);
  device.converted.resize(samples);
  float* out = device.converted.data();
  uint32_t cursor = buffer.play_cursor;
  const uint8_t* ring = buffer.ring.data();
  if (buffer.format.bits_per_sample == 16) {
    for (size_t i = 0; i < samples; ++i) {
      out[i] = float(int16_t(ring[cursor] | ring[cursor + 1] << 8)) * (1.0f / 32768.0f);
      cursor = cursor + 2 == kRingBytes ? 0 : cursor + 2;
    }
  } else {
    for (size_t i = 0; i < samples; ++i) {
      out[i] = float(int(ring[cursor]) - 128) * (1.0f / 128.0f);
      cursor = cursor + 1 == kRingBytes ? 0 : cursor + 1;
    }
  }
  buffer.play_cursor = cursor;
  return frames;
}

// Converts `frames` device-rate frames of the buffer into device.converted
// (the buffer's channels, float), consuming its ring from the play cursor.
// Returns the frames produced (fewer only when the converter fails).
int32_t pull_frames(Device& device, DeviceBuffer& buffer, int32_t frames) {
  if (buffer.frequency == device.format.sample_rate) {
    // What a converter still held from a rate change is dropped with it.
    buffer.resampler.context.reset();
    return copy_frames(device, buffer, frames);
  }
  AudioShape input = ring_shape(buffer);
  AudioShape output{buffer.format.channels, SampleKind::Float32, device.format.sample_rate};
  if (!is_configured(buffer.resampler) || buffer.resampler.input != input || buffer.resampler.output != output) {
    if (!configure_resampler(buffer.resampler, input, output, ResampleQuality::Mixing)) return 0;
  }
  const int32_t channels = buffer.format.channels;
  const uint32_t frame_bytes = uint32_t(buffer.format.block_align());
  device.converted.resize(size_t(frames) * size_t(channels));
  auto out_at = [&](int32_t produced) {
    return reinterpret_cast<uint8_t*>(device.converted.data() + size_t(produced) * size_t(channels));
  };

  int32_t produced = convert_audio(buffer.resampler, nullptr, 0, out_at(0), frames);
  if (produced < 0) return 0;
  for (int feed = 0; produced < frames && feed < kMaxFeeds; ++feed) {
    int64_t wanted = (int64_t(frames - produced) * input.rate + output.rate - 1) / output.rate + 1;
    int64_t contiguous = (kRingBytes - buffer.play_cursor) / frame_bytes;
    int32_t count = int32_t(std::min({wanted, contiguous, kMaxFeedFrames}));
    int32_t made = convert_audio(buffer.resampler, buffer.ring.data() + buffer.play_cursor, count, out_at(produced),
                                 frames - produced);
    if (made < 0) break;
    produced += made;
    buffer.play_cursor = (buffer.play_cursor + uint32_t(count) * frame_bytes) % kRingBytes;
  }
  return produced;
}

}  // namespace

DeviceBuffer& create_device_buffer(Device& device, PcmFormat format, int32_t stream_id) {
  assert(is_playable(format));
  auto buffer = std::make_unique<DeviceBuffer>();
  buffer->stream_id = stream_id;
  buffer->format = format;
  buffer->ring.assign(kRingBytes, format.silence_byte());
  buffer->frequency = format.sample_rate;
  device.buffers.push_back(std::move(buffer));
  return *device.buffers.back();
}

void release_device_buffer(Device& device, const DeviceBuffer& buffer) {
  std::erase_if(device.buffers, [&](const std::unique_ptr<DeviceBuffer>& entry) { return entry.get() == &buffer; });
}

uint32_t write_ring(DeviceBuffer& buffer, uint32_t cursor, std::span<const uint8_t> bytes) {
  assert(bytes.size() <= kRingBytes && cursor < kRingBytes);
  size_t first = std::min<size_t>(bytes.size(), kRingBytes - cursor);
  std::copy(bytes.begin(), bytes.begin() + std::ptrdiff_t(first), buffer.ring.begin() + cursor);
  std::copy(bytes.begin() + std::ptrdiff_t(first), bytes.end(), buffer.ring.begin());
  return uint32_t((cursor + bytes.size()) % kRingBytes);
}

void set_buffer_attenuation(DeviceBuffer& buffer, int32_t attenuation) {
  attenuation = std::clamp(attenuation, kSilentAttenuation, 0);
  buffer.attenuation = buffer.attenuation_set ? device_attenuation(attenuation, buffer.attenuation) : attenuation;
  buffer.attenuation_set = true;
}

void set_buffer_pan(DeviceBuffer& buffer, int32_t pan) { buffer.pan = std::clamp(pan, -kMaxPan, kMaxPan); }

bool set_buffer_frequency(DeviceBuffer& buffer, int32_t frequency) {
  if (frequency == 0) frequency = buffer.format.sample_rate;
  if (frequency < kMinFrequency || frequency > kMaxFrequency) return false;
  buffer.frequency = frequency;
  return true;
}

void render_device(Device& device, std::span<int16_t> output) {
  const int32_t device_channels = device.format.channels;
  const int32_t frames = int32_t(output.size() / size_t(device_channels));
  std::fill(output.begin(), output.end(), int16_t(0));
  if (!device.ready || frames == 0) return;
  device.mix.assign(size_t(frames) * size_t(device_channels), 0.0f);

  for (const std::unique_ptr<DeviceBuffer>& entry : device.buffers) {
    DeviceBuffer& buffer = *entry;
    if (!buffer.playing) continue;
    // Silent buffers are converted too: their play cursor must move on.
    int32_t produced = pull_frames(device, buffer, frames);
    const float* in = device.converted.data();
    float* mix = device.mix.data();
    const bool stereo_source = buffer.format.channels == 2;
    if (device_channels == 2) {
      SideGains gains = side_gains(buffer.attenuation, buffer.pan);
      for (int32_t i = 0; i < produced; ++i, mix += 2) {
        float left = in[0];
        float right = stereo_source ? in[1] : in[0];
        in += stereo_source ? 2 : 1;
        mix[0] += left * gains.left;
        mix[1] += right * gains.right;
      }
    } else {
      float gain = gain_of_attenuation(buffer.attenuation);
      for (int32_t i = 0; i < produced; ++i, ++mix) {
        float sample = stereo_source ? (in[0] + in[1]) * 0.5f : in[0];
        in += stereo_source ? 2 : 1;
        *mix += sample * gain;
      }
    }
  }

  for (size_t i = 0; i < output.size() && i < device.mix.size(); ++i) {
    float scaled = device.mix[i] * 32768.0f;
    output[i] = int16_t(std::clamp(std::lrintf(std::clamp(scaled, -40000.0f, 40000.0f)), -32768L, 32767L));
  }
}

}  // namespace tavelo::audio
