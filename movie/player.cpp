// The movie player on FFmpeg's libraries.

#include "movie/player.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace tavelo::movie {
namespace {

constexpr int kIoBufferBytes = 32768;
// Pictures decoded ahead of the clock; while the sound needs decoding more
// may queue, up to two seconds' worth at 25 a second: files interleave
// sound up to about a second after the pictures of the same time.
constexpr size_t kQueuedPictures = 8;
constexpr size_t kMostQueuedPictures = 50;
// Converted sound waiting for room in the ring; beyond this the oldest is
// dropped, so a device that takes nothing never holds the pictures up.
constexpr int64_t kMostPendingSoundMs = 1000;
// Headless decoding keeps this much sound ahead of what the mixer took, and
// a picture this far past the clock.
constexpr int64_t kSoundAheadMs = 300;
constexpr int64_t kPictureAheadMs = 100;
// The clock leaves the sound for the caller's time when the mixer took
// nothing for this long (a gap, the end of the sound, no device pulling).
constexpr int64_t kSoundStallMs = 100;
// No new picture or sound for this much movie time ends the movie; a jump
// in a stream's time stamps larger than this is closed up instead of waited for.
constexpr int64_t kNoProgressMs = 2000;
constexpr int64_t kDefaultPictureMs = 40;
constexpr int64_t kShortestLoopMs = 200;
// Scaling whose results do not depend on the machine's vector code.
constexpr int kExactScaling = SWS_ACCURATE_RND | SWS_BITEXACT;
// sws_scale reads four plane pointers and strides even for a one-plane
// picture; the unused ones are null.
constexpr int kScalePlanes = 4;
// Packets one Caller-mode advance may read: a bound for files whose packets
// decode to nothing.
constexpr int kMaxStepsPerAdvance = 2000;
// A seek that lands past its target is tried again this much earlier, then
// twice as much, and so on back to the file's start.
constexpr int64_t kSeekBackMs = 1000;
// Packets read after a seek to find the key frame decoding starts from.
constexpr size_t kMostPacketsToKeyFrame = 1000;

template <typename T, void (*Free)(T**)>
struct AvDeleter {
  void operator()(T* pointer) const { Free(&pointer); }
};
void free_format(AVFormatContext** format) { avformat_close_input(format); }
void free_sws(SwsContext** sws) {
  sws_freeContext(*sws);
  *sws = nullptr;
}
void free_io(AVIOContext** io) {
  if (*io) av_freep(&(*io)->buffer);
  avio_context_free(io);
}
using FormatPtr = std::unique_ptr<AVFormatContext, AvDeleter<AVFormatContext, free_format>>;
using IoPtr = std::unique_ptr<AVIOContext, AvDeleter<AVIOContext, free_io>>;
using CodecPtr = std::unique_ptr<AVCodecContext, AvDeleter<AVCodecContext, avcodec_free_context>>;
using FramePtr = std::unique_ptr<AVFrame, AvDeleter<AVFrame, av_frame_free>>;
using PacketPtr = std::unique_ptr<AVPacket, AvDeleter<AVPacket, av_packet_free>>;
using SwrPtr = std::unique_ptr<SwrContext, AvDeleter<SwrContext, swr_free>>;
using SwsPtr = std::unique_ptr<SwsContext, AvDeleter<SwsContext, free_sws>>;

struct Picture {
  FramePtr frame;
  int64_t time = 0;  // movie time, ms
};

// One stream's times on the movie timeline: stamps relative to the file's
// start, shifted by the range start, the loop passes and closed-up jumps.
struct Timeline {
  int64_t shift = 0;
  int64_t last = INT64_MIN;  // the last time given out
};

}  // namespace

struct Player {
  Decoding decoding = Decoding::Caller;
  SoundOutput* sound = nullptr;

  // The file and FFmpeg's view of it: the decoding thread's alone while it runs.
  platform::File file;
  IoPtr io;
  FormatPtr format;
  int video_index = -1;
  int audio_index = -1;
  int seek_index = -1;  // the stream whose key frames a seek is judged by: the pictures, else the sound
  CodecPtr video;
  CodecPtr audio;
  SwrPtr swr;  // made for the first sound frame, and again when the frames' shape changes
  int swr_format = -1;
  int swr_rate = 0;
  AVChannelLayout swr_layout{};
  PacketPtr packet;
  std::deque<PacketPtr> held;  // read while judging a seek; decoded before reading on
  FramePtr decoded;
  int64_t start_us = 0;  // the file's first time stamp
  int64_t picture_ms = kDefaultPictureMs;

  // Decoding state (decoding thread).
  PlayRange range;
  int64_t loop_shift = 0;
  uint32_t passes = 0;  // loop passes begun
  Timeline video_time;
  int64_t video_file_time = INT64_MIN;  // of the last picture decoded, ms from the file's start
  bool video_done = false;  // the range's end was reached
  bool audio_done = false;
  bool pass_had_output = false;
  bool sound_on = false;
  int32_t sound_rate = 44100;
  int32_t sound_channels = 2;
  uint64_t sound_frames = 0;    // frames handed on (written or pending)
  bool first_sound_of_pass = true;
  std::vector<int16_t> pending;  // converted sound the ring had no room for
  size_t pending_at = 0;

  // Shared with the main thread.
  std::mutex lock;
  std::condition_variable wake;
  std::deque<Picture> queue;                 // guarded by lock
  std::atomic<bool> done{false};             // no more will be decoded
  std::atomic<bool> drained{false};          // done, and all its sound handed on
  std::atomic<int64_t> newest{0};            // movie time decoded so far
  std::atomic<bool> stop{false};
  std::thread worker;

  // Main thread.
  FramePtr current;
  bool current_drawn = true;
  SwsPtr sws;
  std::vector<uint8_t> scratch;
  bool started = false;
  uint32_t started_at = 0;
  int64_t clock = 0;
  int64_t audio_seen_ms = -1;
  int64_t audio_offset = 0;
  uint32_t audio_seen_at = 0;
  int64_t range_length = -1;
  bool ended = false;
};

namespace {

int read_file(void* opaque, uint8_t* buffer, int size) {
  auto* file = static_cast<platform::File*>(opaque);
  size_t count = file->read({buffer, size_t(std::max(size, 0))});
  return count == 0 ? AVERROR_EOF : int(count);
}

int64_t seek_file(void* opaque, int64_t offset, int whence) {
  auto* file = static_cast<platform::File*>(opaque);
  int64_t length = int64_t(file->length());
  if (whence & AVSEEK_SIZE) return length;
  int64_t target = 0;
  switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: target = offset; break;
    case SEEK_CUR: target = int64_t(file->position()) + offset; break;
    case SEEK_END: target = length + offset; break;
    default: return AVERROR(EINVAL);
  }
  if (target < 0 || target > length || !file->seek(uint64_t(target))) return AVERROR(EINVAL);
  return target;
}

// A movie is one file: playlists and the like that would open other files
// or addresses are refused.
int refuse_nested_open(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
  return AVERROR(EPERM);
}

int stop_requested(void* opaque) { return static_cast<Player*>(opaque)->stop.load() ? 1 : 0; }

CodecPtr open_decoder(AVStream* stream) {
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) return nullptr;
  CodecPtr context(avcodec_alloc_context3(codec));
  if (!context || avcodec_parameters_to_context(context.get(), stream->codecpar) < 0) return nullptr;
  // The player's own thread is the parallelism; one decoder thread keeps
  // headless runs reproducible.
  context->thread_count = 1;
  // Bit-exact decoding and scaling: the same film gives the same pixels on
  // every machine and in a page, whatever vector code the libraries pick.
  context->flags |= AV_CODEC_FLAG_BITEXACT;
  context->pkt_timebase = stream->time_base;
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return nullptr;
  return context;
}

// A stream's time stamp in ms from the file's start, kept within about 35
// years either way so that arithmetic on broken stamps cannot overflow.
int64_t stamp_ms(const Player& player, const AVStream* stream, int64_t stamp) {
  constexpr int64_t kFarthest = int64_t(1) << 40;
  int64_t ms = std::clamp<int64_t>(av_rescale_q(stamp, stream->time_base, AVRational{1, 1000}), -kFarthest, kFarthest);
  return ms - std::clamp<int64_t>(player.start_us / 1000, -kFarthest, kFarthest);
}

// Places a time on the timeline; a jump of more than kNoProgressMs either way
// is closed up to follow the last time by `step`.
int64_t place_time(Timeline& timeline, int64_t time, int64_t step) {
  int64_t placed = time + timeline.shift;
  if (timeline.last != INT64_MIN && (placed > timeline.last + kNoProgressMs || placed < timeline.last - kNoProgressMs)) {
    timeline.shift += timeline.last + step - placed;
    placed = timeline.last + step;
  }
  timeline.last = placed;
  return placed;
}

void note_newest(Player& player, int64_t time) {
  if (time > player.newest.load()) player.newest.store(time);
}

// Hands pending sound to the output; false while some is left (the ring is full).
bool flush_sound(Player& player) {
  if (player.pending_at < player.pending.size()) {
    std::span<const int16_t> rest(player.pending.data() + player.pending_at, player.pending.size() - player.pending_at);
    player.pending_at += player.sound->write(rest);
  }
  if (player.pending_at < player.pending.size()) return false;
  player.pending.clear();
  player.pending_at = 0;
  return true;
}

void queue_sound(Player& player, std::span<const int16_t> samples) {
  player.pending.insert(player.pending.end(), samples.begin(), samples.end());
  size_t most = size_t(kMostPendingSoundMs * player.sound_rate / 1000) * size_t(player.sound_channels);
  if (player.pending.size() - player.pending_at > most) {
    player.pending_at = player.pending.size() - most;
  }
  if (player.pending_at > most) {
    player.pending.erase(player.pending.begin(), player.pending.begin() + ptrdiff_t(player.pending_at));
    player.pending_at = 0;
  }
  player.sound_frames += samples.size() / size_t(player.sound_channels);
  note_newest(player, int64_t(player.sound_frames * 1000 / uint64_t(player.sound_rate)));
}

void take_video_frame(Player& player, AVFrame* frame) {
  if (player.video_done || frame->width < 1 || frame->height < 1) return;
  AVStream* stream = player.format->streams[player.video_index];
  int64_t stamp = frame->best_effort_timestamp;
  // A picture without a stamp comes one picture's time after the last.
  int64_t file_time = stamp != AV_NOPTS_VALUE                  ? stamp_ms(player, stream, stamp)
                      : player.video_file_time != INT64_MIN ? player.video_file_time + player.picture_ms
                                                             : player.range.from_ms;
  player.video_file_time = file_time;
  // Pictures before the range are decoded only to reach it.
  if (file_time < player.range.from_ms) return;
  if (player.range.to_ms >= 0 && file_time >= player.range.to_ms) {
    player.video_done = true;
    return;
  }
  int64_t time = place_time(player.video_time, file_time + player.loop_shift - player.range.from_ms, player.picture_ms);
  Picture picture{FramePtr(av_frame_alloc()), time};
  if (!picture.frame) return;
  av_frame_move_ref(picture.frame.get(), frame);
  {
    std::lock_guard guard(player.lock);
    player.queue.push_back(std::move(picture));
  }
  player.pass_had_output = true;
  note_newest(player, time + player.picture_ms);
}

// A converter from the frame's shape to the mix's; false when none can be made.
bool fit_converter(Player& player, AVFrame* frame) {
  if (player.swr && frame->format == player.swr_format && frame->sample_rate == player.swr_rate &&
      av_channel_layout_compare(&frame->ch_layout, &player.swr_layout) == 0) {
    return true;
  }
  player.swr.reset();
  if (frame->sample_rate < 1 || frame->ch_layout.nb_channels < 1) return false;
  AVChannelLayout out_layout;
  av_channel_layout_default(&out_layout, player.sound_channels);
  SwrContext* swr = nullptr;
  int made = swr_alloc_set_opts2(&swr, &out_layout, AV_SAMPLE_FMT_S16, player.sound_rate, &frame->ch_layout,
                                 AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
  av_channel_layout_uninit(&out_layout);
  player.swr.reset(swr);
  if (made < 0 || swr_init(swr) < 0) {
    player.swr.reset();
    return false;
  }
  player.swr_format = frame->format;
  player.swr_rate = frame->sample_rate;
  av_channel_layout_uninit(&player.swr_layout);
  return av_channel_layout_copy(&player.swr_layout, &frame->ch_layout) >= 0;
}

void take_audio_frame(Player& player, AVFrame* frame) {
  if (player.audio_done || !player.sound_on || frame->nb_samples < 1 || !fit_converter(player, frame)) return;
  AVStream* stream = player.format->streams[player.audio_index];
  int64_t stamp = frame->best_effort_timestamp;
  int64_t rate = frame->sample_rate;
  int64_t skip = 0, keep = frame->nb_samples;  // in the frame's own samples
  int64_t time = -1;
  if (stamp != AV_NOPTS_VALUE) {
    time = stamp_ms(player, stream, stamp);
    if (time < player.range.from_ms) skip = (player.range.from_ms - time) * rate / 1000;
    if (player.range.to_ms >= 0 && time + frame->nb_samples * 1000 / rate >= player.range.to_ms) {
      keep = std::max<int64_t>(0, (player.range.to_ms - time) * rate / 1000);
      player.audio_done = true;
    }
  }
  if (skip >= keep) return;

  int out_capacity = int(av_rescale_rnd(swr_get_delay(player.swr.get(), rate) + frame->nb_samples,
                                        player.sound_rate, rate, AV_ROUND_UP)) + 16;
  std::vector<int16_t> out(size_t(out_capacity) * size_t(player.sound_channels));
  uint8_t* out_planes[] = {reinterpret_cast<uint8_t*>(out.data())};
  int converted = swr_convert(player.swr.get(), out_planes, out_capacity,
                              const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
  if (converted <= 0) return;
  int64_t first = skip * player.sound_rate / rate;
  int64_t last = std::min<int64_t>(converted, keep * player.sound_rate / rate);
  if (first >= last) return;

  // Sound that starts later than where the ring stands (a film opening on
  // silence, a loop pass) is placed at its time.
  if (player.first_sound_of_pass && time >= 0) {
    int64_t at = std::max<int64_t>(time - player.range.from_ms, 0) + player.loop_shift;
    int64_t gap = at * player.sound_rate / 1000 - int64_t(player.sound_frames);
    // A longer gap means broken stamps, not silence.
    if (gap > 0 && gap <= kNoProgressMs * player.sound_rate / 1000) queue_sound(player, std::vector<int16_t>(size_t(gap) * size_t(player.sound_channels), 0));
  }
  player.first_sound_of_pass = false;
  size_t channels = size_t(player.sound_channels);
  queue_sound(player, std::span<const int16_t>(out.data() + size_t(first) * channels, size_t(last - first) * channels));
  player.pass_had_output = true;
}

void drain_decoder(Player& player, AVCodecContext* codec, bool video) {
  while (avcodec_receive_frame(codec, player.decoded.get()) >= 0) {
    if (video) {
      take_video_frame(player, player.decoded.get());
    } else {
      take_audio_frame(player, player.decoded.get());
    }
    av_frame_unref(player.decoded.get());
  }
}

// A packet's time in ms from the file's start; nullopt without a stamp.
std::optional<int64_t> packet_time(const Player& player, const AVPacket* packet) {
  int64_t stamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
  if (stamp == AV_NOPTS_VALUE) return std::nullopt;
  return stamp_ms(player, player.format->streams[packet->stream_index], stamp);
}

// Reads on from a seek to the first key frame of the seek stream, keeping
// every packet read for decoding. The key frame's time, or nullopt when none
// (or none with a stamp) came.
std::optional<int64_t> read_to_key_frame(Player& player) {
  player.held.clear();
  while (player.held.size() < kMostPacketsToKeyFrame) {
    PacketPtr packet(av_packet_alloc());
    if (!packet || av_read_frame(player.format.get(), packet.get()) < 0) return std::nullopt;
    bool key = packet->stream_index == player.seek_index && (packet->flags & AV_PKT_FLAG_KEY) != 0;
    std::optional<int64_t> time = key ? packet_time(player, packet.get()) : std::nullopt;
    player.held.push_back(std::move(packet));
    if (key) return time;
  }
  return std::nullopt;
}

// Positions the file so that decoding starts at a key frame at or before
// to_ms (ms from the file's start). Containers without an index may seek
// near the target rather than before it, or not at all, and decoding from
// after the key frame shows nothing until the next one: a seek that lands
// past its target is made again further back, down to the file's start.
void seek_before(Player& player, int64_t to_ms) {
  AVFormatContext* format = player.format.get();
  const AVStream* stream = format->streams[player.seek_index];
  for (int64_t back = 0;; back = back == 0 ? kSeekBackMs : back * 2) {
    int64_t target = to_ms - back;
    bool from_start = target <= 0;
    int sought = from_start ? avformat_seek_file(format, -1, INT64_MIN, player.start_us, player.start_us, 0)
                            : av_seek_frame(format, player.seek_index,
                                            av_rescale_q(player.start_us + target * 1000, AV_TIME_BASE_Q,
                                                         stream->time_base),
                                            AVSEEK_FLAG_BACKWARD);
    // The last resort: the first byte of the file, where byte seeks work.
    if (sought < 0 && from_start) sought = av_seek_frame(format, -1, 0, AVSEEK_FLAG_BYTE);
    if (sought < 0) {
      if (from_start) return;  // nowhere to go: decoding reads on from where it is
      continue;
    }
    std::optional<int64_t> landed = read_to_key_frame(player);
    if (from_start || (landed && *landed <= to_ms)) {
      player.video_file_time = landed ? *landed - player.picture_ms : INT64_MIN;
      return;
    }
  }
}

void rewind_decoding(Player& player, int64_t to_ms) {
  seek_before(player, to_ms);
  if (player.video) avcodec_flush_buffers(player.video.get());
  if (player.audio) avcodec_flush_buffers(player.audio.get());
  player.video_done = player.audio_done = false;
  player.first_sound_of_pass = true;
  player.pass_had_output = false;
}

// The end of the file (or a read error): the decoders give what they hold;
// a looping movie goes round again when this pass showed anything.
void finish_pass(Player& player) {
  if (player.video) {
    avcodec_send_packet(player.video.get(), nullptr);
    drain_decoder(player, player.video.get(), true);
  }
  if (player.audio && player.sound_on) {
    avcodec_send_packet(player.audio.get(), nullptr);
    drain_decoder(player, player.audio.get(), false);
  }
  int64_t sound_end = int64_t(player.sound_frames * 1000 / uint64_t(player.sound_rate));
  int64_t video_end = player.video_time.last == INT64_MIN ? 0 : player.video_time.last + player.picture_ms;
  int64_t pass_end = std::max({sound_end, video_end, player.loop_shift});
  // A pass that showed nothing, or less than kShortestLoopMs, does not go
  // round again: it would spend the playback seeking.
  if (!player.range.loop || !player.pass_had_output || pass_end - player.loop_shift < kShortestLoopMs) {
    player.done.store(true);
    return;
  }
  player.loop_shift = pass_end;
  ++player.passes;
  player.video_time.shift = 0;
  rewind_decoding(player, player.range.from_ms);
}

// Reads and decodes one packet.
void decode_step(Player& player) {
  if ((player.video_done || player.video_index < 0) && (player.audio_done || !player.sound_on)) {
    player.done.store(true);
    return;
  }
  // Packets read while judging a seek come first.
  PacketPtr held;
  if (!player.held.empty()) {
    held = std::move(player.held.front());
    player.held.pop_front();
  }
  AVPacket* packet = held ? held.get() : player.packet.get();
  if (!held && av_read_frame(player.format.get(), packet) < 0) {
    finish_pass(player);
    return;
  }
  if (packet->stream_index == player.video_index && !player.video_done) {
    if (avcodec_send_packet(player.video.get(), packet) >= 0) drain_decoder(player, player.video.get(), true);
  } else if (packet->stream_index == player.audio_index && player.sound_on && !player.audio_done) {
    if (avcodec_send_packet(player.audio.get(), packet) >= 0) drain_decoder(player, player.audio.get(), false);
  }
  av_packet_unref(packet);
}

size_t queued_pictures(Player& player) {
  std::lock_guard guard(player.lock);
  return player.queue.size();
}

// Whether the sound wants more decoded: less than kSoundAheadMs waits to be heard.
bool sound_wanted(Player& player) {
  if (!player.sound_on || player.audio_done) return false;
  uint64_t pending = (player.pending.size() - player.pending_at) / size_t(player.sound_channels);
  return int64_t((player.sound->frames_buffered() + pending) * 1000 / uint64_t(player.sound_rate)) < kSoundAheadMs;
}

bool pictures_wanted(Player& player, size_t limit) {
  if (player.video_index < 0 || player.video_done) return false;
  return queued_pictures(player) < limit;
}

// Decodes ahead until the pictures queue is full and the sound has enough
// waiting; sound waiting for room in the ring is handed on as it frees.
void run_worker(Player& player) {
  while (!player.stop.load()) {
    bool sound_left = player.sound_on && !flush_sound(player);
    if (player.done.load()) {
      if (!sound_left) {
        player.drained.store(true);
        return;
      }
    } else if (pictures_wanted(player, kQueuedPictures) ||
               (sound_wanted(player) && pictures_wanted(player, kMostQueuedPictures)) ||
               (player.video_index < 0 && !sound_left)) {
      decode_step(player);
      continue;
    }
    std::unique_lock guard(player.lock);
    player.wake.wait_for(guard, std::chrono::milliseconds(5));
  }
}

void stop_worker(Player& player) {
  if (!player.worker.joinable()) return;
  {
    std::lock_guard guard(player.lock);
    player.stop.store(true);
  }
  player.wake.notify_all();
  player.worker.join();
  player.stop.store(false);
}

bool open_sound(Player& player) {
  if (!player.sound || !player.audio) return false;
  int32_t rate = 0, channels = 0;
  if (!player.sound->start(rate, channels)) return false;
  if (rate < 1 || channels < 1 || channels > 8) {
    player.sound->stop();
    return false;
  }
  player.sound_rate = rate;
  player.sound_channels = channels;
  player.swr.reset();
  return true;
}

// The movie clock: the sound the mixer took, carried on by `now` while it
// takes nothing; never going back.
void update_clock(Player& player, uint32_t now) {
  int64_t candidate = int64_t(uint32_t(now - player.started_at));
  if (player.sound_on) {
    int64_t heard = int64_t(player.sound->frames_played() * 1000 / uint64_t(player.sound_rate));
    if (heard != player.audio_seen_ms) {
      if (player.audio_seen_ms < 0 || int64_t(uint32_t(now - player.audio_seen_at)) > kSoundStallMs) {
        player.audio_offset = player.clock - heard;
      }
      player.audio_seen_ms = heard;
      player.audio_seen_at = now;
      candidate = heard + player.audio_offset;
    } else if (player.audio_seen_ms >= 0) {
      candidate = heard + player.audio_offset + int64_t(uint32_t(now - player.audio_seen_at));
    }
  }
  player.clock = std::max(player.clock, candidate);
}

// Takes the pictures that are due; the last of them becomes the current one.
void take_due_pictures(Player& player) {
  std::lock_guard guard(player.lock);
  bool took = false;
  while (!player.queue.empty() && player.queue.front().time <= player.clock) {
    player.current = std::move(player.queue.front().frame);
    player.queue.pop_front();
    player.current_drawn = false;
    took = true;
  }
  if (took) player.wake.notify_all();
}

// Caller mode: enough sound ahead of what was heard, and a picture beyond the clock.
bool needs_decoding(Player& player) {
  if (player.done.load()) return false;
  if (player.sound_on) flush_sound(player);
  bool has_pictures = player.video_index >= 0 && !player.video_done;
  if (has_pictures && !pictures_wanted(player, kMostQueuedPictures)) return false;
  if (sound_wanted(player)) return true;
  if (!pictures_wanted(player, kQueuedPictures)) return false;
  std::lock_guard guard(player.lock);
  return player.queue.empty() || player.queue.back().time <= player.clock + kPictureAheadMs;
}

}  // namespace

void PlayerDeleter::operator()(Player* player) const {
  if (!player) return;
  stop_worker(*player);
  if (player->sound_on) player->sound->stop();
  av_channel_layout_uninit(&player->swr_layout);
  delete player;
}

PlayerHandle open_player(platform::File file, Decoding decoding, SoundOutput* sound) {
  // Broken films would otherwise fill the terminal with FFmpeg's complaints;
  // a film that does not open is reported by the movie calls.
  av_log_set_level(AV_LOG_QUIET);
  PlayerHandle player(new Player);
  player->decoding = decoding;
  player->sound = sound;
  player->file = std::move(file);
  auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferBytes));
  if (!buffer) return nullptr;
  player->io.reset(avio_alloc_context(buffer, kIoBufferBytes, 0, &player->file, read_file, nullptr, seek_file));
  if (!player->io) {
    av_free(buffer);
    return nullptr;
  }
  AVFormatContext* format = avformat_alloc_context();
  if (!format) return nullptr;
  format->pb = player->io.get();
  format->flags |= AVFMT_FLAG_CUSTOM_IO;
  format->io_open = refuse_nested_open;
  format->interrupt_callback = {stop_requested, player.get()};
  if (avformat_open_input(&format, nullptr, nullptr, nullptr) < 0) return nullptr;  // frees format
  player->format.reset(format);
  if (avformat_find_stream_info(format, nullptr) < 0) return nullptr;
  constexpr int64_t kFarthestStartUs = int64_t(1) << 50;
  player->start_us = format->start_time == AV_NOPTS_VALUE
                         ? 0
                         : std::clamp<int64_t>(format->start_time, -kFarthestStartUs, kFarthestStartUs);

  int video_index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (video_index >= 0) player->video = open_decoder(format->streams[video_index]);
  if (player->video) {
    player->video_index = video_index;
    AVRational rate = format->streams[video_index]->avg_frame_rate;
    if (rate.num > 0 && rate.den > 0) player->picture_ms = std::clamp<int64_t>(1000 * int64_t(rate.den) / rate.num, 1, 1000);
  }
  int audio_index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (audio_index >= 0) player->audio = open_decoder(format->streams[audio_index]);
  if (player->audio) player->audio_index = audio_index;
  if (!player->video && !player->audio) return nullptr;
  player->seek_index = player->video ? player->video_index : player->audio_index;
  player->packet.reset(av_packet_alloc());
  player->decoded.reset(av_frame_alloc());
  if (!player->packet || !player->decoded) return nullptr;
  return player;
}

void start_player(Player& player, PlayRange range, int32_t volume, uint32_t now) {
  stop_worker(player);
  if (player.sound_on) player.sound->stop();
  range.from_ms = std::max(range.from_ms, 0);
  bool rewind = player.started || range.from_ms > 0;
  player.started = true;
  player.range = range;
  if (rewind) rewind_decoding(player, range.from_ms);
  if (!rewind) player.video_file_time = INT64_MIN;
  player.loop_shift = 0;
  player.video_time = {};
  player.sound_frames = 0;
  player.pending.clear();
  player.pending_at = 0;
  player.first_sound_of_pass = true;
  player.pass_had_output = false;
  player.video_done = player.audio_done = false;
  {
    std::lock_guard guard(player.lock);
    player.queue.clear();
  }
  player.newest.store(0);
  player.drained.store(false);
  player.done.store(range.to_ms >= 0 && range.to_ms <= range.from_ms);
  player.range_length = range.to_ms >= 0 ? std::max(range.to_ms - range.from_ms, 0) : -1;
  player.ended = player.range_length == 0;
  player.started_at = now;
  player.clock = 0;
  player.audio_seen_ms = -1;
  player.audio_offset = 0;
  player.sound_on = open_sound(player);
  if (player.sound_on) player.sound->set_volume(std::clamp(volume, 0, 1000));
  if (player.decoding == Decoding::WorkerThread) player.worker = std::thread(run_worker, std::ref(player));
}

bool advance_player(Player& player, uint32_t now) {
  if (player.ended) return false;
  update_clock(player, now);
  take_due_pictures(player);
  if (player.decoding == Decoding::Caller) {
    // One loop pass at most per call: a short looping film must not spin here.
    uint32_t passes = player.passes;
    for (int step = 0; step < kMaxStepsPerAdvance && player.passes == passes && needs_decoding(player); ++step) {
      decode_step(player);
      take_due_pictures(player);
    }
  }
  if (player.decoding == Decoding::Caller && player.done.load() && (!player.sound_on || flush_sound(player))) {
    player.drained.store(true);
  }
  bool decoded_all = player.drained.load();
  bool sound_left = player.sound_on && player.sound->frames_buffered() > 0;
  bool pictures_left = queued_pictures(player) > 0;
  int64_t newest = player.newest.load();
  if (player.range_length >= 0 && player.clock >= player.range_length) {
    player.ended = true;
  } else if (decoded_all && !pictures_left && (!sound_left || player.clock >= newest + kNoProgressMs) &&
             player.clock >= newest) {
    player.ended = true;
  } else if (!decoded_all && player.clock > newest + kNoProgressMs) {
    player.ended = true;  // decoding has stopped getting anywhere
  }
  if (player.ended) {
    stop_worker(player);
    if (player.sound_on) player.sound->stop();
    player.sound_on = false;
  }
  return !player.current_drawn && player.current;
}

bool player_playing(const Player& player) { return !player.ended; }

int64_t player_clock(const Player& player) { return player.clock; }

bool draw_player_picture(Player& player, std::span<uint8_t> pixels, int32_t width, int32_t height, int32_t stride,
                         graphics::Rect target) {
  AVFrame* frame = player.current.get();
  if (!frame || target.empty() || width < 1 || height < 1 || stride < width * 3 ||
      pixels.size() < size_t(stride) * size_t(height)) {
    return false;
  }
  player.current_drawn = true;
  int64_t left = std::max<int64_t>(target.x, 0), top = std::max<int64_t>(target.y, 0);
  int64_t right = std::min<int64_t>(int64_t(target.x) + target.width, width);
  int64_t bottom = std::min<int64_t>(int64_t(target.y) + target.height, height);
  if (right <= left || bottom <= top) return false;
  player.sws.reset(sws_getCachedContext(player.sws.release(), frame->width, frame->height,
                                        AVPixelFormat(frame->format), target.width, target.height,
                                        AV_PIX_FMT_BGR24, SWS_BILINEAR | kExactScaling, nullptr, nullptr, nullptr));
  if (!player.sws) return false;
  bool inside = left == target.x && top == target.y && right - left == target.width && bottom - top == target.height;
  if (inside) {
    // Straight into the window picture.
    uint8_t* planes[kScalePlanes] = {pixels.data() + size_t(top) * size_t(stride) + size_t(left) * 3};
    int strides[kScalePlanes] = {stride};
    sws_scale(player.sws.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
    return true;
  }
  // Partly outside the window: scaled whole, then the visible part copied.
  size_t row = size_t(target.width) * 3;
  player.scratch.resize(row * size_t(target.height));
  uint8_t* planes[kScalePlanes] = {player.scratch.data()};
  int strides[kScalePlanes] = {int(row)};
  sws_scale(player.sws.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
  for (int64_t y = top; y < bottom; ++y) {
    std::memcpy(pixels.data() + size_t(y) * size_t(stride) + size_t(left) * 3,
                player.scratch.data() + size_t(y - target.y) * row + size_t(left - target.x) * 3,
                size_t(right - left) * 3);
  }
  return true;
}

}  // namespace tavelo::movie
