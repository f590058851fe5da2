#include "audio/output.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "audio/fast_voice.h"

namespace tavelo::audio {
namespace {

// A ring is refilled once the play cursor comes within 211 681 bytes of the
// write cursor, i.e. when it is more than this far ahead of it (modulo the
// ring). At 44.1 kHz 16-bit stereo that keeps 1.2 s written ahead.
constexpr uint32_t kRefillDistance = 493919;
constexpr uint32_t kMinPassInterval = 80;  // ms
constexpr uint32_t kThreadPeriod = 100;    // ms
// A deadline further away than this is taken as a clock jump and counts as passed.
constexpr int32_t kMaxDeadlineDistance = 79999;  // ms
// A later file may differ in format from the ring; its conversion may make
// data at most this many times as large, so a chunk always fits the refill margin.
constexpr int64_t kMaxConversionGrowth = 8;
// Silence written when a stream has no decoder left.
constexpr uint32_t kSilenceChunk = 35280;

Stream* find_stream(OutputState& state, int32_t id) {
  if (id == 0) return nullptr;
  for (const std::unique_ptr<Stream>& stream : state.streams) {
    if (stream->id == id) return stream.get();
  }
  return nullptr;
}

void add_report(OutputState& state, OutputReport report) {
  state.reports.push_back(std::move(report));
  state.reports_pending.store(true);
}

bool time_passed(uint32_t at, uint32_t now) {
  int32_t remaining = int32_t(at - now);
  return remaining <= 0 || remaining > kMaxDeadlineDistance;
}

bool ensure_device_locked(OutputState& state) {
  if (state.device_state != DeviceState::Uninitialised) return state.device_state == DeviceState::Ready;
  std::optional<DeviceFormat> format;
  if (state.hooks.open_device) format = state.hooks.open_device(kDeviceFormats);
  if (!format || (format->channels != 1 && format->channels != 2) || format->sample_rate < kMinFrequency ||
      format->sample_rate > kMaxFrequency) {
    state.device_state = DeviceState::Failed;
    add_report(state, {OutputReport::Kind::DeviceFailed, {}});
    return false;
  }
  std::lock_guard device_guard(state.device_lock);
  state.device.format = *format;
  state.device.ready = true;
  state.device_state = DeviceState::Ready;
  return true;
}

void streaming_loop(OutputState& state) {
  while (!state.thread.stop.load()) {
    state.hooks.sleep_ms(kThreadPeriod);
    if (state.thread.stop.load()) break;
    run_pass(state, state.hooks.clock_ms());
  }
}

// ---------------------------------------------------------------------------
// The pass's work on one stream. list_lock and pass_lock are held throughout.

Result<SoundDecoder> open_decoder(OutputState& state, const std::string& name) {
  if (!state.hooks.open_file) return {Status::NotFound};
  std::optional<platform::File> file = state.hooks.open_file(name);
  if (!file) return {Status::NotFound};
  return open_sound(name, std::make_unique<FileSource>(std::move(*file)));
}

AudioShape shape_of(const PcmFormat& format) {
  return AudioShape{format.channels, format.bits_per_sample == 8 ? SampleKind::Unsigned8 : SampleKind::Signed16,
                    format.sample_rate};
}

// Readies the conversion of a file in `format` into the stream's ring.
bool prepare_converter(Stream& stream, const PcmFormat& format) {
  stream.converter.context.reset();
  if (format == stream.ring_format) return true;
  if (int64_t(stream.ring_format.bytes_per_second()) > kMaxConversionGrowth * format.bytes_per_second()) return false;
  return configure_resampler(stream.converter, shape_of(format), shape_of(stream.ring_format));
}

void end_after_next_write(Stream& stream) {
  if (stream.end_time.state == Deadline::State::Unset) stream.end_time.state = Deadline::State::AfterNextWrite;
  if (stream.stop_time.state == Deadline::State::Unset) stream.stop_time.state = Deadline::State::AfterNextWrite;
}

// Makes `name` the current file. On failure the stream plays out what its
// ring holds and goes.
bool switch_file(OutputState& state, Stream& stream, const std::string& name) {
  Result<SoundDecoder> opened = open_decoder(state, name);
  if (!opened.ok()) {
    add_report(state, {OutputReport::Kind::FileMissing, name});
  } else if (prepare_converter(stream, opened.value.format)) {
    stream.decoder = std::move(opened.value);
    return true;
  }
  stream.decoder.reset();
  end_after_next_write(stream);
  return false;
}

// The current data is used up. Decides what follows; true when more data
// follows at once (the next file, the loop part, or the same data again).
bool finish_data(OutputState& state, Stream& stream) {
  bool loop_part_waits = !stream.loop_part_name.empty() && !stream.in_loop_part;
  if (stream.queued && !loop_part_waits) {
    QueuedFile next = std::move(*stream.queued);
    stream.queued.reset();
    stream.name = std::move(next.name);
    stream.loop_part_name = std::move(next.loop_part_name);
    stream.in_loop_part = false;
    stream.looping = next.looping;
    // The old file's end is an end the channel layer can wait for.
    if (stream.end_time.state == Deadline::State::Unset) stream.end_time.state = Deadline::State::AfterNextWrite;
    return switch_file(state, stream, stream.name);
  }
  if (loop_part_waits && stream.looping == Looping::Loop) {
    stream.in_loop_part = true;
    return switch_file(state, stream, stream.loop_part_name);
  }
  bool rewound = stream.decoder && rewind_sound(*stream.decoder);
  if (!stream.ended && stream.end_time.state == Deadline::State::Unset) {
    stream.end_time.state = Deadline::State::AfterNextWrite;
  }
  // A stream that plays once stops even when its ended flag is already set
  // (a queued file played once after an earlier end), or it would repeat.
  if (stream.looping == Looping::Once || !rewound) {
    if (stream.stop_time.state == Deadline::State::Unset) stream.stop_time.state = Deadline::State::AfterNextWrite;
    return false;
  }
  return true;
}

// Converts stream.decoded (the current file's format) into stream.chunk (the
// ring's format).
void convert_to_ring(Stream& stream) {
  if (!is_configured(stream.converter)) {
    stream.chunk.swap(stream.decoded);
    return;
  }
  const int32_t in_align = stream.decoder->format.block_align();
  const int32_t out_align = stream.ring_format.block_align();
  int32_t frames = int32_t(stream.decoded.size() / size_t(in_align));
  int32_t capacity = std::min<int32_t>(output_bound(stream.converter, frames), int32_t(kRingBytes / 2) / out_align);
  stream.chunk.resize(size_t(capacity) * size_t(out_align));
  int32_t made = convert_audio(stream.converter, stream.decoded.data(), frames, stream.chunk.data(), capacity);
  stream.chunk.resize(size_t(std::max(made, 0)) * size_t(out_align));
}

// Decodes the next chunk into stream.chunk, ready for the ring: silence once
// a stop time is set, without a decoder, or when the file could not be read.
SoundChunk fill_chunk(Stream& stream) {
  SoundChunk result;
  bool silent = stream.stop_time.state != Deadline::State::Unset || !stream.decoder;
  if (!silent) {
    result = decode_sound_chunk(*stream.decoder, stream.decoded);
    silent = result.read_failed;
  }
  if (silent) {
    uint32_t bytes = stream.decoder ? stream.decoder->output_chunk : kSilenceChunk;
    bytes -= bytes % uint32_t(stream.ring_format.block_align());
    stream.chunk.assign(bytes, stream.ring_format.silence_byte());
    return result;
  }
  convert_to_ring(stream);
  if (stream.voice_filter == VoiceFilter::FastVoice && stream.ring_format.channels == 1 &&
      stream.ring_format.bits_per_sample == 16) {
    std::vector<int16_t> samples(stream.chunk.size() / 2), shortened;
    std::memcpy(samples.data(), stream.chunk.data(), samples.size() * 2);
    shorten_voice(samples, shortened);
    stream.chunk.resize(shortened.size() * 2);
    std::memcpy(stream.chunk.data(), shortened.data(), stream.chunk.size());
  }
  return result;
}

void put_chunk(OutputState& state, Stream& stream) {
  std::lock_guard device_guard(state.device_lock);
  stream.write_cursor = write_ring(*stream.buffer, stream.write_cursor, stream.chunk);
  stream.play_cursor = stream.buffer->play_cursor;
  stream.playback_rate = stream.buffer->frequency * stream.ring_format.block_align();
}

void write_chunk(OutputState& state, Stream& stream, uint32_t now) {
  SoundChunk chunk = fill_chunk(stream);
  put_chunk(state, stream);
  if (chunk.end_of_data) {
    bool continues = finish_data(state, stream);
    // Data that ended exactly at the last chunk's end left this chunk empty;
    // start what follows now rather than leave a chunk-long gap.
    if (continues && chunk.bytes == 0 && !chunk.read_failed) {
      SoundChunk next = fill_chunk(stream);
      put_chunk(state, stream);
      if (next.end_of_data) finish_data(state, stream);
    }
  }
  // Deadlines waiting for this write: when everything written so far has played.
  if (stream.end_time.state == Deadline::State::AfterNextWrite ||
      stream.stop_time.state == Deadline::State::AfterNextWrite) {
    uint32_t unplayed = (stream.write_cursor + kRingBytes - stream.play_cursor) % kRingBytes;
    uint32_t at = now + uint32_t(uint64_t(unplayed) * 1000 / uint64_t(std::max(stream.playback_rate, 1)));
    for (Deadline* deadline : {&stream.end_time, &stream.stop_time}) {
      if (deadline->state == Deadline::State::AfterNextWrite) *deadline = {Deadline::State::At, at};
    }
  }
}

// Keeps the buffer converted ahead of the mixer, at the frequency set now.
// The conversion itself runs without the device lock (see RateConverter), so
// the audio callback waits at most for the copy of its frames.
void convert_for_mixer(OutputState& state, Stream& stream) {
  int32_t frames, device_rate;
  {
    std::lock_guard device_guard(state.device_lock);
    frames = frames_to_convert(state.device, *stream.buffer);
    device_rate = state.device.format.sample_rate;
  }
  if (frames == 0) return;
  convert_ahead(stream.ahead, *stream.buffer, device_rate, frames);
  std::lock_guard device_guard(state.device_lock);
  hand_over_converted(*stream.buffer, stream.ahead);
}

// Nothing plays while a stream is paused, so its end and stop times move on
// by the pause: what it had left to play it still plays after the resume.
void move_deadlines_past_pause(Stream& stream, uint32_t now) {
  uint32_t paused = now - stream.paused_at;
  for (Deadline* deadline : {&stream.end_time, &stream.stop_time}) {
    if (deadline->state == Deadline::State::At) deadline->at += paused;
  }
}

// Opens the file, makes the device buffer, writes two chunks and starts it.
bool start_stream(OutputState& state, Stream& stream, uint32_t now) {
  Result<SoundDecoder> opened = open_decoder(state, stream.name);
  if (!opened.ok()) return false;
  stream.decoder = std::move(opened.value);
  stream.ring_format = stream.decoder->format;
  {
    std::lock_guard device_guard(state.device_lock);
    stream.buffer = &create_device_buffer(state.device, stream.ring_format, stream.id);
  }
  write_chunk(state, stream, now);
  write_chunk(state, stream, now);
  std::lock_guard device_guard(state.device_lock);
  DeviceBuffer& buffer = *stream.buffer;
  set_buffer_attenuation(buffer, attenuation_of_volume(stream.volume));
  stream.volume_changed = false;
  if (stream.pan_changed) set_buffer_pan(buffer, stream.pan);
  if (stream.frequency_changed) set_buffer_frequency(buffer, stream.frequency);
  stream.pan_changed = stream.frequency_changed = false;
  buffer.play_cursor = 0;
  buffer.playing = true;
  return true;
}

enum class Keep { Yes, No };

Keep process_stream(OutputState& state, Stream& stream, uint32_t now) {
  if (!stream.buffer) {
    if (!stream.alive) return Keep::No;
    if (!start_stream(state, stream, now)) {
      add_report(state, {OutputReport::Kind::FileMissing, stream.name});
      return Keep::No;
    }
  }

  uint32_t play_cursor;
  {
    std::lock_guard device_guard(state.device_lock);
    DeviceBuffer& buffer = *stream.buffer;
    if (stream.pause == PauseState::PauseRequested) {
      buffer.playing = false;
      stream.pause = PauseState::Paused;
      stream.paused_at = now;
    }
    if (stream.resume_requested) {
      buffer.playing = true;
      if (stream.pause == PauseState::Paused) move_deadlines_past_pause(stream, now);
      stream.pause = PauseState::Playing;
      stream.resume_requested = false;
    }
    if (stream.volume_changed) set_buffer_attenuation(buffer, attenuation_of_volume(stream.volume));
    if (stream.pan_changed) set_buffer_pan(buffer, stream.pan);
    if (stream.frequency_changed) set_buffer_frequency(buffer, stream.frequency);
    stream.volume_changed = stream.pan_changed = stream.frequency_changed = false;
    play_cursor = buffer.play_cursor;
  }

  if ((play_cursor + kRingBytes - stream.write_cursor) % kRingBytes > kRefillDistance) {
    write_chunk(state, stream, now);
  }
  convert_for_mixer(state, stream);

  if (stream.fade.active) {
    Fade& fade = stream.fade;
    int64_t elapsed = std::min<int64_t>(std::abs(int64_t(int32_t(now - fade.start))), fade.duration);
    stream.volume = int32_t(fade.start_volume + elapsed * fade.delta / fade.duration);
    {
      std::lock_guard device_guard(state.device_lock);
      set_buffer_attenuation(*stream.buffer, attenuation_of_volume(stream.volume));
    }
    if (elapsed >= fade.duration) {
      fade.active = false;
      if (fade.stop_at_end) stream.alive = false;
    }
  }

  // The deadlines wait while paused (see move_deadlines_past_pause).
  if (stream.pause == PauseState::Paused) return stream.alive ? Keep::Yes : Keep::No;
  if (stream.end_time.state == Deadline::State::At && !stream.ended && time_passed(stream.end_time.at, now)) {
    stream.ended = true;
    // Consumed, so that after clear_stream_ended the next pass through the
    // data can report its end again.
    stream.end_time = {};
  }
  if (stream.stop_time.state == Deadline::State::At && time_passed(stream.stop_time.at, now)) stream.alive = false;

  return stream.alive ? Keep::Yes : Keep::No;
}

void remove_stream(OutputState& state, int32_t id) {
  auto position = std::find_if(state.streams.begin(), state.streams.end(),
                               [&](const std::unique_ptr<Stream>& stream) { return stream->id == id; });
  if (position == state.streams.end()) return;
  if ((*position)->buffer) {
    std::lock_guard device_guard(state.device_lock);
    release_device_buffer(state.device, *(*position)->buffer);
  }
  state.streams.erase(position);
}

}  // namespace

StreamingThread::~StreamingThread() {
  stop.store(true);
  if (thread.joinable()) thread.join();
}

bool ensure_device(OutputState& state) {
  std::lock_guard guard(state.list_lock);
  return ensure_device_locked(state);
}

int32_t play_stream(OutputState& state, std::string_view name, std::string_view loop_part_name, int32_t volume,
                    Looping looping) {
  std::lock_guard guard(state.list_lock);
  if (!ensure_device_locked(state)) return 0;
  auto stream = std::make_unique<Stream>();
  state.last_id = state.last_id == INT32_MAX ? 1 : state.last_id + 1;
  stream->id = state.last_id;
  stream->name = name;
  stream->loop_part_name = loop_part_name;
  stream->volume = volume;
  stream->looping = looping;
  stream->voice_filter = state.voice_filter_preset;
  if (state.pan_preset != 0) {
    stream->pan = state.pan_preset;
    stream->pan_changed = true;
  }
  state.voice_filter_preset = VoiceFilter::Off;
  state.pan_preset = 0;
  int32_t id = stream->id;
  state.streams.insert(state.streams.begin(), std::move(stream));
  if (state.driver == PassDriver::BackgroundThread && !state.thread.thread.joinable() && state.hooks.sleep_ms &&
      state.hooks.clock_ms) {
    state.thread.thread = std::thread(streaming_loop, std::ref(state));
  }
  return id;
}

void replace_stream(OutputState& state, int32_t id, std::string_view name, std::string_view loop_part_name,
                    Looping looping) {
  std::lock_guard guard(state.list_lock);
  Stream* stream = find_stream(state, id);
  if (!stream || !stream->alive) return;
  stream->ended = false;
  stream->looping = Looping::Loop;
  stream->queued = QueuedFile{std::string(name), std::string(loop_part_name), looping};
  stream->end_time = {};
}

namespace {
void start_fade(Stream& stream, int32_t target_volume, int32_t duration_ms, uint32_t now, bool stop_at_end) {
  stream.fade = Fade{true, now, std::max(duration_ms, 1), stream.volume, target_volume - stream.volume, stop_at_end};
}
}  // namespace

void fade_stream(OutputState& state, int32_t id, int32_t target_volume, int32_t duration_ms, uint32_t now) {
  std::lock_guard guard(state.list_lock);
  if (Stream* stream = find_stream(state, id)) start_fade(*stream, target_volume, duration_ms, now, false);
}

void fade_out_stream(OutputState& state, int32_t id, int32_t target_volume, int32_t duration_ms, uint32_t now) {
  std::lock_guard guard(state.list_lock);
  Stream* stream = find_stream(state, id);
  if (!stream) return;
  if (duration_ms <= 0 || !stream->buffer) {
    stream->alive = false;
    return;
  }
  start_fade(*stream, target_volume, duration_ms, now, true);
}

void set_stream_volume(OutputState& state, int32_t id, int32_t volume) {
  std::lock_guard guard(state.list_lock);
  Stream* stream = find_stream(state, id);
  if (!stream) return;
  stream->volume = volume;
  stream->volume_changed = true;
  stream->fade.active = false;
}

void stop_stream(OutputState& state, int32_t id) {
  std::lock_guard guard(state.list_lock);
  if (Stream* stream = find_stream(state, id)) stream->alive = false;
}

StreamStatus stream_status(OutputState& state, int32_t id) {
  std::lock_guard guard(state.list_lock);
  Stream* stream = find_stream(state, id);
  if (!stream || !stream->alive) return StreamStatus::Gone;
  return stream->ended ? StreamStatus::Ended : StreamStatus::Playing;
}

void clear_stream_ended(OutputState& state, int32_t id) {
  std::lock_guard guard(state.list_lock);
  if (Stream* stream = find_stream(state, id)) stream->ended = false;
}

void pause_stream(OutputState& state, int32_t id) {
  std::lock_guard guard(state.list_lock);
  if (Stream* stream = find_stream(state, id)) stream->pause = PauseState::PauseRequested;
}

void resume_stream(OutputState& state, int32_t id) {
  std::lock_guard guard(state.list_lock);
  if (Stream* stream = find_stream(state, id)) stream->resume_requested = true;
}

void set_stream_pan(OutputState& state, int32_t id, int32_t pan) {
  std::lock_guard guard(state.list_lock);
  Stream* stream = find_stream(state, id);
  if (!stream) return;
  stream->pan = pan;
  stream->pan_changed = true;
}

void set_stream_frequency(OutputState& state, int32_t id, int32_t frequency) {
  std::lock_guard guard(state.list_lock);
  Stream* stream = find_stream(state, id);
  if (!stream) return;
  stream->frequency = frequency;
  stream->frequency_changed = true;
}

void stop_all_streams(OutputState& state) {
  std::lock_guard list_guard(state.list_lock);
  std::lock_guard pass_guard(state.pass_lock);
  {
    std::lock_guard device_guard(state.device_lock);
    for (const std::unique_ptr<Stream>& stream : state.streams) {
      if (stream->buffer) release_device_buffer(state.device, *stream->buffer);
    }
  }
  state.streams.clear();
  state.voice_filter_preset = VoiceFilter::Off;
  state.pan_preset = 0;
}

void set_voice_filter_preset(OutputState& state, VoiceFilter filter) {
  std::lock_guard guard(state.list_lock);
  state.voice_filter_preset = filter;
}

void set_pan_preset(OutputState& state, int32_t pan) {
  std::lock_guard guard(state.list_lock);
  state.pan_preset = pan;
}

bool run_pass(OutputState& state, uint32_t now) {
  std::vector<int32_t> ids;
  {
    std::lock_guard guard(state.list_lock);
    if (state.device_state != DeviceState::Ready || state.streams.empty()) return false;
    int32_t since = int32_t(now - state.last_pass_time);
    if (state.pass_ran && since >= 0 && uint32_t(since) < kMinPassInterval) return false;
    state.pass_ran = true;
    state.last_pass_time = now;
    for (const std::unique_ptr<Stream>& stream : state.streams) ids.push_back(stream->id);
  }
  for (size_t i = 0; i < ids.size(); ++i) {
    {
      std::lock_guard list_guard(state.list_lock);
      std::lock_guard pass_guard(state.pass_lock);
      Stream* stream = find_stream(state, ids[i]);
      if (stream && process_stream(state, *stream, now) == Keep::No) remove_stream(state, ids[i]);
    }
    // Let waiting requests in between streams.
    if (state.driver == PassDriver::BackgroundThread && i + 1 < ids.size()) std::this_thread::yield();
  }
  return true;
}

void render_mix(OutputState& state, std::span<int16_t> output) {
  std::lock_guard device_guard(state.device_lock);
  render_device(state.device, output);
  mix_movie_stream(state.movie_stream, output);
}

DeviceFormat device_format(OutputState& state) {
  std::lock_guard device_guard(state.device_lock);
  return state.device.format;
}

std::vector<OutputReport> take_reports(OutputState& state) {
  if (!state.reports_pending.load()) return {};
  std::lock_guard guard(state.list_lock);
  state.reports_pending.store(false);
  std::vector<OutputReport> reports;
  reports.swap(state.reports);
  return reports;
}

bool has_sound_to_play(OutputState& state) {
  if (state.movie_stream.active.load()) return true;
  std::lock_guard guard(state.list_lock);
  return std::any_of(state.streams.begin(), state.streams.end(), [](const std::unique_ptr<Stream>& stream) {
    return stream->alive && (stream->pause != PauseState::Paused || stream->resume_requested);
  });
}

std::optional<StreamView> inspect_stream(OutputState& state, int32_t id) {
  std::lock_guard guard(state.list_lock);
  Stream* stream = find_stream(state, id);
  if (!stream) return std::nullopt;
  StreamView view;
  view.status = !stream->alive ? StreamStatus::Gone : stream->ended ? StreamStatus::Ended : StreamStatus::Playing;
  view.in_loop_part = stream->in_loop_part;
  view.volume = stream->volume;
  view.write_cursor = stream->write_cursor;
  if (stream->buffer) {
    std::lock_guard device_guard(state.device_lock);
    const DeviceBuffer& buffer = *stream->buffer;
    view.started = true;
    view.attenuation = buffer.attenuation;
    view.pan = buffer.pan;
    view.frequency = buffer.frequency;
    view.playing = buffer.playing;
    view.play_cursor = buffer.play_cursor;
    view.format = buffer.format;
  }
  return view;
}

}  // namespace tavelo::audio
