// The movie player's sound, decoding mode and presentation.

#include "host/movie_link.h"

#include <algorithm>
#include <memory>

#include "audio/movie_stream.h"
#include "audio/output.h"
#include "audio/state.h"
#include "graphics/screen.h"
#include "graphics/state.h"
#include "host/engine.h"
#include "host/engine_parts.h"
#include "movie/player.h"
#include "movie/state.h"
#include "platform/platform.h"

namespace tavelo::host {
namespace {

class MovieSound final : public movie::SoundOutput {
 public:
  explicit MovieSound(audio::OutputState& output) : m_output(output) {}

  bool start(int32_t& rate, int32_t& channels) override {
    if (!audio::start_movie_stream(m_output)) return false;
    audio::DeviceFormat format = audio::device_format(m_output);
    rate = format.sample_rate;
    channels = format.channels;
    return true;
  }
  void stop() override { audio::stop_movie_stream(m_output); }
  size_t write(std::span<const int16_t> samples) override {
    return audio::write_movie_samples(m_output.movie_stream, samples);
  }
  uint64_t frames_played() override { return audio::movie_frames_played(m_output.movie_stream); }
  uint64_t frames_buffered() override { return audio::movie_frames_buffered(m_output.movie_stream); }
  void set_volume(int32_t volume) override { m_output.movie_stream.volume.store(volume); }

 private:
  audio::OutputState& m_output;
};

// The movie rectangle in the window picture: its corners converted like
// every screen point, moved up with the picture while the menu bar shows.
graphics::Rect window_rect(const graphics::Screen& screen, graphics::Rect rect) {
  graphics::Point top_left = graphics::screen_to_window(screen, {rect.x, rect.y});
  graphics::Point bottom_right = graphics::screen_to_window(
      screen, {int32_t(std::min<int64_t>(int64_t(rect.x) + rect.width, INT32_MAX)),
               int32_t(std::min<int64_t>(int64_t(rect.y) + rect.height, INT32_MAX))});
  int64_t width = int64_t(bottom_right.x) - top_left.x, height = int64_t(bottom_right.y) - top_left.y;
  return {top_left.x, int32_t(std::max<int64_t>(int64_t(top_left.y) - screen.menu_offset, INT32_MIN)),
          int32_t(std::clamp<int64_t>(width, 0, graphics::kMaxWindowSide)),
          int32_t(std::clamp<int64_t>(height, 0, graphics::kMaxWindowSide))};
}

graphics::Rect clipped(graphics::Rect rect, int32_t width, int32_t height) {
  int64_t left = std::max(rect.x, 0), top = std::max(rect.y, 0);
  int64_t right = std::min<int64_t>(int64_t(rect.x) + rect.width, width);
  int64_t bottom = std::min<int64_t>(int64_t(rect.y) + rect.height, height);
  if (right <= left || bottom <= top) return {};
  return {int32_t(left), int32_t(top), int32_t(right - left), int32_t(bottom - top)};
}

}  // namespace

movie::State& movie_of(Engine& engine) { return engine.movie; }

void connect_movie(Engine& engine) {
  movie::State& state = engine.movie;
  state.sound = std::make_unique<MovieSound>(engine.audio.output);
  // Real time has the decoder run ahead on its own thread; the virtual
  // clock has it decode on the main thread, so runs repeat exactly, and so
  // does a page, which has no threads.
  bool real_time = engine.platform.has_capability(platform::Capability::Window) ||
                   engine.platform.has_capability(platform::Capability::AudioDevice);
  bool threads = engine.platform.has_capability(platform::Capability::Threads);
  state.decoding = real_time && threads ? movie::Decoding::WorkerThread : movie::Decoding::Caller;
}

void run_movie_cycle(Engine& engine) {
  movie::State& state = engine.movie;
  if (!state.player) return;
  bool fresh = movie::advance_player(*state.player, engine.platform.ticks_ms());
  const graphics::Screen& screen = engine.graphics.screen;
  int32_t width = screen.window_width, height = screen.window_height;
  if (width < 1 || height < 1) return;
  if (width != state.window_width || height != state.window_height) {
    state.window_width = width;
    state.window_height = height;
    state.window_pixels.assign(size_t(width) * size_t(height) * 3, 0);
    state.placed = true;
  }
  if (!fresh && !state.placed) return;
  graphics::Rect target = window_rect(screen, state.rect);
  int32_t stride = width * 3;
  if (!movie::draw_player_picture(*state.player, state.window_pixels, width, height, stride, target)) return;
  state.placed = false;
  graphics::Rect shown = clipped(target, width, height);
  platform::FrameRect changed{shown.x, shown.y, shown.width, shown.height};
  engine.platform.present({state.window_pixels.data(), width, height, stride, std::span(&changed, 1)});
}

void close_movie(Engine& engine) { engine.movie.player.reset(); }

}  // namespace tavelo::host
