#pragma once
// Sound output: streams of sound files fed into looping device buffers and
// mixed by the engine's own mixer. Owns OutputState (the stream list, the
// device and the streaming thread). The channel layer starts streams and
// steers them by id; the host creates the state, has passes run (by the
// background thread or itself) and renders the mix for the platform's device.
//
// Threads. Three kinds of caller touch the state:
//  - requests (play, fade, stop, status, ...) from the main thread;
//  - the streaming pass, run_pass: on the background thread
//    (PassDriver::BackgroundThread, started by the first play) or on the
//    main thread (PassDriver::Caller, for deterministic headless runs);
//  - render_mix, on the audio device's thread (real runs) or the main thread
//    (headless runs).
//
// Locks, always taken in this order:
//  1. list_lock guards the stream list, every Stream field, the presets, the
//     device state flag and the reports. Requests hold it briefly and only
//     set request fields; they never touch a device buffer.
//  2. pass_lock is held by a pass for each stream it works on (and by
//     stop_all_streams), so passes and clean-up never interleave.
//  3. device_lock guards `device`: the buffers, their rings, cursors,
//     volumes, converted frames and the mixer's scratch. The pass takes it
//     only to copy a decoded chunk in, to apply a request or to hand over
//     frames it converted to the device rate; render_mix takes only this
//     one, so the audio thread never waits for file reading, decoding or
//     rate conversion.
// A pass releases list_lock and pass_lock between streams, so requests are
// never held up for more than one stream's work.
//
// Time. All times are milliseconds of one wrapping 32-bit clock (the
// platform's ticks): the `now` arguments, and hooks.clock_ms for the
// background thread. Nothing here reads a clock itself.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "audio/device.h"
#include "audio/movie_stream.h"
#include "audio/stream.h"
#include "platform/file_system.h"

namespace tavelo::audio {

// What the host supplies. open_file and clock_ms/sleep_ms are called on the
// pass's thread with list_lock and pass_lock held (so they must not call back
// into the output); open_device on the thread of the first play, with
// list_lock held.
struct OutputHooks {
  // The game's file (loose or an archive entry) for a sound name, with its
  // extension; nullopt when it does not exist. Must be thread-safe.
  std::function<std::optional<platform::File>(std::string_view name)> open_file;
  // Opens the platform's audio device with the first of the given formats it
  // accepts and returns that format; nullopt when none works.
  std::function<std::optional<DeviceFormat>(std::span<const DeviceFormat> formats)> open_device;
  // Background thread only.
  std::function<uint32_t()> clock_ms;
  std::function<void(uint32_t milliseconds)> sleep_ms;
};

enum class PassDriver { BackgroundThread, Caller };

enum class DeviceState { Uninitialised, Ready, Failed };

// Something for the host to show the player, as its error box.
struct OutputReport {
  enum class Kind {
    DeviceFailed,  // kDeviceFailedMessage, once per run
    FileMissing,   // kFileMissingMessage with `name`
  };
  Kind kind = Kind::FileMissing;
  std::string name;  // game text (code page bytes), for FileMissing
};
inline constexpr std::string_view kDeviceFailedMessage = "DirectSoundのイニシャライズに失敗しました";
inline constexpr std::string_view kFileMissingMessage = "ファイル[%s]が発見できませんでした。";

// What a stream's status query gives: gone (no such stream, or stopped),
// playing, or alive with its data played through once.
enum class StreamStatus { Gone, Playing, Ended };

// Joins the background thread when the state goes.
struct StreamingThread {
  std::thread thread;
  std::atomic<bool> stop{false};
  StreamingThread() = default;
  StreamingThread(const StreamingThread&) = delete;
  StreamingThread& operator=(const StreamingThread&) = delete;
  ~StreamingThread();
};

struct OutputState {
  OutputHooks hooks;
  PassDriver driver = PassDriver::Caller;

  std::mutex list_lock;
  std::mutex pass_lock;
  std::mutex device_lock;

  // Guarded by list_lock.
  DeviceState device_state = DeviceState::Uninitialised;
  std::vector<std::unique_ptr<Stream>> streams;  // newest first
  int32_t last_id = 0;
  VoiceFilter voice_filter_preset = VoiceFilter::Off;  // for the next stream
  int32_t pan_preset = 0;                              // for the next stream; 0 = none
  bool pass_ran = false;
  uint32_t last_pass_time = 0;
  std::vector<OutputReport> reports;
  // Set with every report, so the main thread can look each cycle without
  // waiting for a pass to let go of list_lock.
  std::atomic<bool> reports_pending{false};

  // Guarded by device_lock.
  Device device;
  // The movie's sound, summed into the mix (audio/movie_stream.h).
  MovieStream movie_stream;

  // Last, so the thread stops before anything it uses goes.
  StreamingThread thread;
};

// Opens the device on first use (later calls return the first outcome).
// True when sound can play.
bool ensure_device(OutputState& state);

// Starts a stream and returns its id, or 0 when the device is unusable. The
// file is opened by the next pass (a missing file is reported then). volume
// is 0-1000. The presets apply to this stream and are cleared.
int32_t play_stream(OutputState& state, std::string_view name, std::string_view loop_part_name, int32_t volume,
                    Looping looping);

// The requests below do nothing for id 0 or an id no stream has.

// Queues a file to follow the current data without a gap; the current file
// wraps into it (the stream becomes looping) and its ended flag clears.
void replace_stream(OutputState& state, int32_t id, std::string_view name, std::string_view loop_part_name,
                    Looping looping);
// Fades from the current volume to target over max(1, duration_ms) ms.
void fade_stream(OutputState& state, int32_t id, int32_t target_volume, int32_t duration_ms, uint32_t now);
// The same, and the stream is removed when the fade ends; at once when
// duration_ms <= 0 or it has not started playing yet.
void fade_out_stream(OutputState& state, int32_t id, int32_t target_volume, int32_t duration_ms, uint32_t now);
// Sets the volume (0-1000) and cancels a fade.
void set_stream_volume(OutputState& state, int32_t id, int32_t volume);
void stop_stream(OutputState& state, int32_t id);
StreamStatus stream_status(OutputState& state, int32_t id);
void clear_stream_ended(OutputState& state, int32_t id);
void pause_stream(OutputState& state, int32_t id);
void resume_stream(OutputState& state, int32_t id);
// Hundredths of dB: -10 000 (left only) to 10 000 (right only).
void set_stream_pan(OutputState& state, int32_t id, int32_t pan);
// Hz; 0 returns to the file's own rate. Rates outside 100-200 000 are ignored.
void set_stream_frequency(OutputState& state, int32_t id, int32_t frequency);
// Removes every stream at once and clears the presets. Must not be called
// with list_lock held.
void stop_all_streams(OutputState& state);
void set_voice_filter_preset(OutputState& state, VoiceFilter filter);
void set_pan_preset(OutputState& state, int32_t pan);

// One streaming pass at time `now`: opens new streams' files, carries out
// requests, refills rings, converts them ahead of the mixer (see
// kConvertAheadMs), runs fades and retires finished streams. Skipped
// (false) when the device is not ready, no stream exists, or the last pass
// was less than 80 ms ago. The background thread calls it every 100 ms; in
// PassDriver::Caller mode the host calls it as often.
bool run_pass(OutputState& state, uint32_t now);

// Fills output (interleaved signed 16-bit frames in the device format) with
// the mix of the frames the passes converted, and advances every playing
// stream's play cursor. Takes only the device lock; may run on the audio
// device's thread.
void render_mix(OutputState& state, std::span<int16_t> output);

// The device format in use (valid once ensure_device succeeded).
DeviceFormat device_format(OutputState& state);

// Reports gathered since the last call, oldest first; the host shows them.
std::vector<OutputReport> take_reports(OutputState& state);

// Whether the mix may be anything but silence: a live stream that is not
// paused (or is about to start or resume), or the movie's sound. A page
// stops its audio output while this is false.
bool has_sound_to_play(OutputState& state);

// A look at one stream, for tests and debugging tools.
struct StreamView {
  StreamStatus status = StreamStatus::Gone;
  bool started = false;  // has a device buffer
  bool in_loop_part = false;
  int32_t volume = 0;            // 0-1000
  int32_t attenuation = 0;       // hundredths of dB, as the device buffer has it
  int32_t pan = 0;               // as the device buffer has it
  int32_t frequency = 0;         // as the device buffer has it
  bool playing = false;          // the device buffer plays (not paused)
  uint32_t write_cursor = 0;
  uint32_t play_cursor = 0;
  PcmFormat format;              // of the device buffer
};
std::optional<StreamView> inspect_stream(OutputState& state, int32_t id);

}  // namespace tavelo::audio
