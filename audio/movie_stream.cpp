// The movie's sound ring.

#include "audio/movie_stream.h"

#include <algorithm>
#include <mutex>

#include "audio/output.h"

namespace tavelo::audio {

bool start_movie_stream(OutputState& output) {
  if (!ensure_device(output)) return false;
  std::lock_guard device_guard(output.device_lock);
  MovieStream& stream = output.movie_stream;
  stream.channels = std::max(output.device.format.channels, 1);
  stream.written.store(0);
  stream.read.store(0);
  stream.volume.store(1000);
  stream.active.store(true);
  return output.device.ready;
}

void stop_movie_stream(OutputState& output) {
  std::lock_guard device_guard(output.device_lock);
  MovieStream& stream = output.movie_stream;
  stream.active.store(false);
  stream.written.store(0);
  stream.read.store(0);
}

size_t write_movie_samples(MovieStream& stream, std::span<const int16_t> samples) {
  if (!stream.active.load(std::memory_order_acquire)) return 0;
  size_t channels = size_t(stream.channels);
  uint64_t written = stream.written.load(std::memory_order_relaxed);
  uint64_t read = stream.read.load(std::memory_order_acquire);
  size_t space = kMovieRingSamples - size_t(written - read);
  size_t count = std::min(space, samples.size());
  count -= count % channels;
  for (size_t i = 0; i < count; ++i) stream.ring[size_t((written + i) % kMovieRingSamples)] = samples[i];
  stream.written.store(written + count, std::memory_order_release);
  return count;
}

uint64_t movie_frames_played(const MovieStream& stream) {
  return stream.read.load(std::memory_order_acquire) / uint64_t(std::max(stream.channels, 1));
}

uint64_t movie_frames_buffered(const MovieStream& stream) {
  uint64_t read = stream.read.load(std::memory_order_acquire);
  return (stream.written.load(std::memory_order_acquire) - read) / uint64_t(std::max(stream.channels, 1));
}

void mix_movie_stream(MovieStream& stream, std::span<int16_t> mix) {
  if (!stream.active.load(std::memory_order_acquire)) return;
  uint64_t read = stream.read.load(std::memory_order_relaxed);
  uint64_t written = stream.written.load(std::memory_order_acquire);
  size_t count = std::min<uint64_t>(written - read, mix.size());
  int32_t volume = std::clamp(stream.volume.load(std::memory_order_relaxed), 0, 1000);
  for (size_t i = 0; i < count; ++i) {
    int32_t sample = int32_t(stream.ring[size_t((read + i) % kMovieRingSamples)]) * volume / 1000;
    mix[i] = int16_t(std::clamp(int32_t(mix[i]) + sample, -32768, 32767));
  }
  stream.read.store(read + count, std::memory_order_release);
}

}  // namespace tavelo::audio
