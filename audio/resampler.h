#pragma once
// Sample-rate, sample-format and channel-count conversion of interleaved
// audio through libswresample. The streaming pass keeps one per device
// buffer that plays off the device rate (ring data at the buffer's frequency
// to float at the device rate), and one per stream whose later file differs
// in format from the stream's device buffer. Not thread-safe: each has one
// user at a time.

#include <cstdint>
#include <memory>

struct SwrContext;

namespace tavelo::audio {

enum class SampleKind { Unsigned8, Signed16, Float32 };

struct AudioShape {
  int32_t channels = 2;  // 1 or 2
  SampleKind kind = SampleKind::Signed16;
  int32_t rate = 44100;  // Hz
  bool operator==(const AudioShape&) const = default;
  int32_t frame_bytes() const;
};

struct SwrContextDeleter {
  void operator()(SwrContext* context) const;
};

struct Resampler {
  std::unique_ptr<SwrContext, SwrContextDeleter> context;
  AudioShape input;
  AudioShape output;
};

// How hard the rate conversion works. Fine is the library's default filter,
// for converting a file's data once. Playback converts every playing buffer
// that is off the device rate, all the time it plays (on the streaming
// thread, a pass's worth at a time), so it uses a short filter (16 taps)
// looked up without interpolation between phases: about a quarter of the
// cost, still far above what a pitch change or a 22 kHz voice needs.
enum class ResampleQuality { Fine, Playback };

// Sets up a conversion, dropping what an earlier one still held. Mono to
// stereo copies the channel to both sides; stereo to mono averages them.
// False when the library refuses the shapes.
[[nodiscard]] bool configure_resampler(Resampler& resampler, AudioShape input, AudioShape output,
                                       ResampleQuality quality = ResampleQuality::Fine);
bool is_configured(const Resampler& resampler);

// Converts input_frames frames (0 just collects what earlier input still
// owes) into at most output_capacity frames; input that does not fit is kept
// for the next call. Returns the frames written, or -1 on failure.
int32_t convert_audio(Resampler& resampler, const uint8_t* input, int32_t input_frames, uint8_t* output,
                      int32_t output_capacity);

// An upper bound of the frames the next call with input_frames may write.
int32_t output_bound(Resampler& resampler, int32_t input_frames);

}  // namespace tavelo::audio
