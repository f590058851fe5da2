#include "audio/device.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace tavelo::audio {
namespace {

// Room for frames beyond kConvertAheadMs: a conversion may make a few more
// than asked (what the resampler held from the last one).
constexpr int32_t kConvertSlackMs = 50;

int32_t frames_in_ms(int32_t rate, int32_t ms) { return int32_t(int64_t(rate) * ms / 1000); }

void take_source(RateConverter& converter, uint32_t bytes) {
  if (converter.pending.source_bytes == 0) converter.pending.source_start = converter.source_cursor;
  converter.pending.source_bytes += bytes;
  converter.source_cursor = uint32_t((uint64_t(converter.source_cursor) + bytes) % kRingBytes);
}

// Ring data at the device rate needs no rate conversion, only its samples as
// floats (exactly as the resampler would make them: 16-bit / 32768, 8-bit
// (x - 128) / 128). Most buffers play so; this keeps their cost to a copy.
void copy_ahead(RateConverter& converter, const DeviceBuffer& buffer, int32_t frames) {
  const uint32_t bytes = uint32_t(frames * buffer.format.block_align());
  const bool sixteen_bits = buffer.format.bits_per_sample == 16;
  const size_t old_size = converter.frames.size();
  converter.frames.resize(old_size + (sixteen_bits ? bytes / 2 : bytes));
  float* out = converter.frames.data() + old_size;
  // At most two runs: up to the ring's end, then from its start.
  for (uint32_t done = 0; done < bytes;) {
    const uint32_t cursor = converter.source_cursor;
    const uint32_t run = std::min(bytes - done, kRingBytes - cursor);
    const uint8_t* in = buffer.ring.data() + cursor;
    if (sixteen_bits) {
      for (uint32_t i = 0; i < run / 2; ++i) {
        out[i] = float(int16_t(in[2 * i] | in[2 * i + 1] << 8)) * (1.0f / 32768.0f);
      }
      out += run / 2;
    } else {
      for (uint32_t i = 0; i < run; ++i) out[i] = float(int(in[i]) - 128) * (1.0f / 128.0f);
      out += run;
    }
    take_source(converter, run);
    done += run;
  }
  converter.pending.frames += uint32_t(frames);
}

// The resampler refused the shapes or failed: silence for the time the data
// would have lasted, so the play cursor still moves over it.
void silence_ahead(RateConverter& converter, const DeviceBuffer& buffer, int32_t frames, int64_t input_frames) {
  converter.frames.resize(converter.frames.size() + size_t(frames) * size_t(buffer.format.channels), 0.0f);
  take_source(converter, uint32_t(input_frames * buffer.format.block_align()));
  converter.pending.frames += uint32_t(frames);
}

void resample_ahead(RateConverter& converter, const DeviceBuffer& buffer, int32_t device_rate, int32_t frames) {
  const int32_t channels = buffer.format.channels;
  const int32_t frame_bytes = buffer.format.block_align();
  const AudioShape input{channels, buffer.format.bits_per_sample == 8 ? SampleKind::Unsigned8 : SampleKind::Signed16,
                         buffer.frequency};
  const AudioShape output{channels, SampleKind::Float32, device_rate};
  // Enough input for the frames asked for; the resampler keeps a few for its
  // filter, so the first conversion after a change makes a few less.
  int64_t input_frames = (int64_t(frames) * input.rate + device_rate - 1) / device_rate;
  input_frames = std::min<int64_t>(input_frames, kRingBytes / uint32_t(frame_bytes));
  Resampler& resampler = converter.resampler;
  if (!is_configured(resampler) || resampler.input != input || resampler.output != output) {
    if (!configure_resampler(resampler, input, output, ResampleQuality::Playback)) {
      silence_ahead(converter, buffer, frames, input_frames);
      return;
    }
  }
  const int32_t capacity = frames + frames_in_ms(device_rate, kConvertSlackMs);
  const size_t old_size = converter.frames.size();
  converter.frames.resize(old_size + size_t(capacity) * size_t(channels));
  int32_t produced = 0;
  while (input_frames > 0) {
    int64_t contiguous = (kRingBytes - converter.source_cursor) / uint32_t(frame_bytes);
    int32_t count = int32_t(std::min(input_frames, contiguous));
    uint8_t* out = reinterpret_cast<uint8_t*>(converter.frames.data() + old_size + size_t(produced) * size_t(channels));
    int32_t made = convert_audio(resampler, buffer.ring.data() + converter.source_cursor, count, out,
                                 capacity - produced);
    if (made < 0) {
      converter.frames.resize(old_size + size_t(produced) * size_t(channels));
      resampler.context.reset();
      silence_ahead(converter, buffer, std::max(frames - produced, 0), input_frames);
      converter.pending.frames += uint32_t(produced);
      return;
    }
    produced += made;
    take_source(converter, uint32_t(count * frame_bytes));
    input_frames -= count;
  }
  converter.frames.resize(old_size + size_t(produced) * size_t(channels));
  converter.pending.frames += uint32_t(produced);
}

// Moves the play cursor over the ring bytes behind `frames` more played frames.
void play_spans(DeviceBuffer& buffer, uint32_t frames) {
  const uint32_t frame_bytes = uint32_t(buffer.format.block_align());
  while (frames > 0 && buffer.span_count > 0) {
    const ConvertedSpan& span = buffer.spans[buffer.first_span];
    uint32_t take = std::min(frames, span.frames - buffer.span_played);
    buffer.span_played += take;
    frames -= take;
    uint64_t bytes = span.source_bytes;
    if (buffer.span_played == span.frames) {
      buffer.first_span = (buffer.first_span + 1) % uint32_t(buffer.spans.size());
      --buffer.span_count;
      buffer.span_played = 0;
    } else {
      // Within a span the bytes are taken evenly, whole frames at a time.
      bytes = uint64_t(span.source_bytes / frame_bytes) * buffer.span_played / span.frames * frame_bytes;
    }
    buffer.play_cursor = uint32_t((span.source_start + bytes) % kRingBytes);
  }
}

}  // namespace

DeviceBuffer& create_device_buffer(Device& device, PcmFormat format, int32_t stream_id) {
  assert(is_playable(format));
  auto buffer = std::make_unique<DeviceBuffer>();
  buffer->stream_id = stream_id;
  buffer->format = format;
  buffer->ring.assign(kRingBytes, format.silence_byte());
  buffer->frequency = format.sample_rate;
  const int32_t rate = device.format.sample_rate;
  buffer->capacity_frames = uint32_t(frames_in_ms(rate, kConvertAheadMs) + frames_in_ms(rate, kConvertSlackMs));
  buffer->converted.assign(size_t(buffer->capacity_frames) * size_t(format.channels), 0.0f);
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

int32_t frames_to_convert(const Device& device, const DeviceBuffer& buffer) {
  if (buffer.span_count == buffer.spans.size()) return 0;
  int64_t ahead = int64_t(buffer.converted_frames - buffer.played_frames);
  return int32_t(std::max<int64_t>(frames_in_ms(device.format.sample_rate, kConvertAheadMs) - ahead, 0));
}

void convert_ahead(RateConverter& converter, const DeviceBuffer& buffer, int32_t device_rate, int32_t frames) {
  if (frames <= 0) return;
  if (buffer.frequency == device_rate) {
    // What a resampler still held from a rate change is dropped with it.
    converter.resampler.context.reset();
    copy_ahead(converter, buffer, frames);
  } else {
    resample_ahead(converter, buffer, device_rate, frames);
  }
}

void hand_over_converted(DeviceBuffer& buffer, RateConverter& converter) {
  const ConvertedSpan span = converter.pending;
  // Input the resampler kept whole (no frame out yet) waits for the next span.
  if (span.frames == 0) return;
  const size_t channels = size_t(buffer.format.channels);
  // frames_to_convert leaves room for every frame a conversion makes.
  assert(buffer.converted_frames - buffer.played_frames + span.frames <= buffer.capacity_frames);
  assert(converter.frames.size() == size_t(span.frames) * channels);
  const uint32_t start = uint32_t(buffer.converted_frames % buffer.capacity_frames);
  const uint32_t first = std::min(span.frames, buffer.capacity_frames - start);
  std::copy_n(converter.frames.begin(), size_t(first) * channels, buffer.converted.begin() + std::ptrdiff_t(start * channels));
  std::copy(converter.frames.begin() + std::ptrdiff_t(first * channels), converter.frames.end(), buffer.converted.begin());
  buffer.converted_frames += span.frames;
  if (buffer.span_count < buffer.spans.size()) {
    buffer.spans[(buffer.first_span + buffer.span_count) % uint32_t(buffer.spans.size())] = span;
    ++buffer.span_count;
  } else {
    // No room (frames_to_convert prevents it): the newest span grows.
    ConvertedSpan& last = buffer.spans[(buffer.first_span + buffer.span_count - 1) % uint32_t(buffer.spans.size())];
    last.source_bytes += span.source_bytes;
    last.frames += span.frames;
  }
  converter.frames.clear();
  converter.pending = {};
}

void render_device(Device& device, std::span<int16_t> output) {
  const int32_t device_channels = device.format.channels;
  const uint32_t frames = uint32_t(output.size() / size_t(device_channels));
  std::fill(output.begin(), output.end(), int16_t(0));
  if (!device.ready || frames == 0) return;
  device.mix.assign(size_t(frames) * size_t(device_channels), 0.0f);

  for (const std::unique_ptr<DeviceBuffer>& entry : device.buffers) {
    DeviceBuffer& buffer = *entry;
    if (!buffer.playing) continue;
    // Silent buffers are played too: their play cursor must move on.
    const uint32_t count = uint32_t(std::min<uint64_t>(frames, buffer.converted_frames - buffer.played_frames));
    const uint32_t start = uint32_t(buffer.played_frames % buffer.capacity_frames);
    const uint32_t first = std::min(count, buffer.capacity_frames - start);
    const bool stereo_source = buffer.format.channels == 2;
    const float* parts[2] = {buffer.converted.data() + size_t(start) * size_t(buffer.format.channels),
                             buffer.converted.data()};
    const uint32_t part_frames[2] = {first, count - first};
    float* mix = device.mix.data();
    if (device_channels == 2) {
      const SideGains gains = side_gains(buffer.attenuation, buffer.pan);
      for (int part = 0; part < 2; ++part) {
        const float* in = parts[part];
        if (stereo_source) {
          for (uint32_t i = 0; i < part_frames[part]; ++i, in += 2, mix += 2) {
            mix[0] += in[0] * gains.left;
            mix[1] += in[1] * gains.right;
          }
        } else {
          for (uint32_t i = 0; i < part_frames[part]; ++i, ++in, mix += 2) {
            mix[0] += in[0] * gains.left;
            mix[1] += in[0] * gains.right;
          }
        }
      }
    } else {
      const float gain = gain_of_attenuation(buffer.attenuation);
      for (int part = 0; part < 2; ++part) {
        const float* in = parts[part];
        if (stereo_source) {
          for (uint32_t i = 0; i < part_frames[part]; ++i, in += 2, ++mix) *mix += (in[0] + in[1]) * 0.5f * gain;
        } else {
          for (uint32_t i = 0; i < part_frames[part]; ++i, ++in, ++mix) *mix += in[0] * gain;
        }
      }
    }
    buffer.played_frames += count;
    play_spans(buffer, count);
  }

  for (size_t i = 0; i < output.size() && i < device.mix.size(); ++i) {
    float scaled = device.mix[i] * 32768.0f;
    output[i] = int16_t(std::clamp(std::lrintf(std::clamp(scaled, -40000.0f, 40000.0f)), -32768L, 32767L));
  }
}

}  // namespace tavelo::audio
