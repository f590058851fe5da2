#pragma once
// The movie's sound: one ring of PCM already in the device format, written by
// the movie decoder (its own thread, or the main thread when headless) and
// added into the mix by render_mix (the device's thread). Data passes through
// without a lock: one writer and one reader, each owning its own counter.
// Starting and stopping hold the output's device lock, so the mixer never
// sees a ring being reset. The host connects it to the movie player.

#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

namespace tavelo::audio {

struct OutputState;

// About 1.5 s of 44.1 kHz stereo: enough to cover a slow decode, small
// enough that a stopped movie goes quiet at once (the ring is emptied).
inline constexpr size_t kMovieRingSamples = size_t(1) << 17;

struct MovieStream {
  // Fixed size, allocated once: neither side ever resizes it.
  std::vector<int16_t> ring = std::vector<int16_t>(kMovieRingSamples);
  std::atomic<uint64_t> written{0};  // samples ever written (the writer's)
  std::atomic<uint64_t> read{0};     // samples ever mixed (the reader's)
  std::atomic<int32_t> volume{1000};  // 0-1000, linear
  std::atomic<bool> active{false};
  int32_t channels = 2;  // changed only while inactive, under the device lock
};

// Empties the ring and lets the mixer read it; false when no device plays
// (the movie then runs silently). channels is the device's.
bool start_movie_stream(OutputState& output);
// Stops the mixer reading and empties the ring.
void stop_movie_stream(OutputState& output);

// Writer side: copies as many whole frames as fit; returns the samples taken.
size_t write_movie_samples(MovieStream& stream, std::span<const int16_t> samples);
// Frames the mixer has taken since the stream started.
uint64_t movie_frames_played(const MovieStream& stream);
// Frames written and not yet mixed.
uint64_t movie_frames_buffered(const MovieStream& stream);

// Reader side (render_mix, device lock held): adds the buffered sound into
// the mix, saturating, and advances the read counter by what it used.
void mix_movie_stream(MovieStream& stream, std::span<int16_t> mix);

}  // namespace tavelo::audio
