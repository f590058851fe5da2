#pragma once
// The stream record: one playing sound file with the requests the channel
// layer has left for it and the streaming pass's own progress through it.
// Records live in OutputState::streams (audio/output.h) and every field is
// guarded by its stream-list lock; `buffer` is also only dereferenced under
// the device lock, except by the pass's conversion (see RateConverter).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "audio/device.h"
#include "audio/resampler.h"
#include "audio/sound_decoder.h"

namespace tavelo::audio {

enum class Looping {
  Once,  // played through once, then removed
  Loop,  // the loop part (or the file again) follows the end of the data
};

enum class VoiceFilter { Off, FastVoice };

enum class PauseState { Playing, PauseRequested, Paused };

// A moment the pass waits for, in ms of the output clock (see output.h).
struct Deadline {
  enum class State {
    Unset,
    AfterNextWrite,  // becomes At once the next chunk is in the ring
    At,
  };
  State state = State::Unset;
  uint32_t at = 0;
};

struct Fade {
  bool active = false;
  uint32_t start = 0;     // ms
  int32_t duration = 1;   // ms, at least 1
  int32_t start_volume = 0;
  int32_t delta = 0;      // target - start volume
  bool stop_at_end = false;
};

struct QueuedFile {
  std::string name;
  std::string loop_part_name;
  Looping looping = Looping::Once;
};

struct Stream {
  int32_t id = 0;  // positive, unique
  std::string name;            // as the channel layer gave it
  std::string loop_part_name;  // empty when none
  bool in_loop_part = false;   // the loop part is the current file
  std::optional<QueuedFile> queued;  // next file, switched to at the end of the data
  Looping looping = Looping::Once;
  bool alive = true;   // false: the pass removes the stream
  bool ended = false;  // the data has played through (once)
  VoiceFilter voice_filter = VoiceFilter::Off;

  // Requests, carried out by the next pass.
  int32_t volume = 1000;  // 0-1000
  bool volume_changed = false;
  Fade fade;
  bool pan_changed = false;
  int32_t pan = 0;
  bool frequency_changed = false;
  int32_t frequency = 0;  // Hz, 0 = the file's own rate
  PauseState pause = PauseState::Playing;
  bool resume_requested = false;
  uint32_t paused_at = 0;  // ms, when the pause took effect
  Deadline end_time;   // when the last data written will have played
  Deadline stop_time;  // when to remove the stream

  // The pass's own state.
  std::optional<SoundDecoder> decoder;  // none before the first pass or after a failed switch
  PcmFormat ring_format;                // of the device buffer, fixed by the first file
  Resampler converter;                  // decoded format to ring format, for later files that differ
  DeviceBuffer* buffer = nullptr;       // owned by the device; null until the first pass
  RateConverter ahead;                  // the buffer's ring to device-rate frames for the mixer
  uint32_t write_cursor = 0;            // bytes in the ring
  uint32_t play_cursor = 0;             // as seen at the last write
  int32_t playback_rate = 0;            // bytes per second, as seen at the last write
  std::vector<uint8_t> decoded;         // scratch: one decoded chunk
  std::vector<uint8_t> chunk;           // scratch: the same in the ring format
};

}  // namespace tavelo::audio
