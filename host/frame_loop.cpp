// The frame loop.

#include "host/frame_loop.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "audio/sound_system.h"
#include "graphics/composition.h"
#include "graphics/frame_pacer.h"
#include "graphics/screen.h"
#include "graphics/state.h"
#include "host/engine.h"
#include "host/main_window.h"
#include "host/movie_link.h"
#include "host/state.h"
#include "input/input.h"
#include "movie/player.h"
#include "movie/state.h"
#include "persistence/state.h"
#include "platform/platform.h"
#include "platform/slice_watch.h"
#include "script/read_marks.h"
#include "script/scheduler.h"
#include "script/state.h"

namespace tavelo::host {
namespace {

bool quit_time_reached(const Engine& engine) {
  const std::optional<uint32_t>& quit_at = engine.host.quit_at;
  // The difference as a signed 32-bit value, so that a deadline past the
  // clock's wrap is still ahead (--quit-after is below 2^31 ms).
  return quit_at && int32_t(engine.script.clock.held - *quit_at) >= 0;
}

script::RoundEnd run_watched_round(Engine& engine) {
  platform::SliceWatch* watch = engine.host.slice_watch.get();
  if (!watch) return script::run_threads(engine.script);
  watch->enter_round();
  script::RoundEnd end = script::run_threads(engine.script);
  watch->leave_round();
  return end;
}

// A due frame: shown unless fast-forwarding, or skipping with AGGSKIP between
// the frames it keeps; counted either way. A frame not shown still moves the
// sprites on, so their waits end on time.
void run_frame(Engine& engine) {
  script::Machine& machine = engine.script;
  graphics::FramePacer& pacer = engine.graphics.pacer;
  bool shown = !machine.skip.fast_forward;
  if (shown && pacer.skip_divisor > 0) {
    bool skipping = machine.skip.suspension == 0 && script::is_skipping(machine);
    shown = graphics::frame_shown(pacer, skipping);
  }
  if (shown) {
    compose_and_present(engine);
  } else {
    graphics::update_sprites(engine.graphics, machine.clock.held);
  }
  ++pacer.frame_counter;
}

// A real window waits for the player instead of waking every millisecond:
// until the nearest wait deadline (a wait only input ends has none), the
// next due frame while the picture moves or a movie plays, or the next
// replayed event, whichever comes first, and at most 100 ms (the sound's
// streaming passes); input wakes it at once. A still page thus wakes ten
// times a second. Headless runs keep the 1 ms steps of the virtual clock.
uint32_t idle_wait(Engine& engine) {
  constexpr uint32_t kLongestWaitMs = 100;
  uint32_t wait = script::rest_allowance(engine.script, kLongestWaitMs);
  const graphics::FramePacer& pacer = engine.graphics.pacer;
  uint32_t now = engine.platform.ticks_ms();
  bool movie_playing = engine.movie.player && movie::player_playing(*engine.movie.player);
  if (pacer.started && pacer.limit > 0 && (movie_playing || graphics::frame_has_work(engine.graphics))) {
    uint32_t interval = uint32_t(1000 / pacer.limit);
    uint32_t elapsed = now - pacer.last_frame;
    wait = std::min(wait, elapsed >= interval ? 0u : interval - elapsed);
  }
  const InputReplay& replay = engine.host.replay;
  if (replay.next < replay.events.size()) {
    uint32_t due = replay.start_time + replay.events[replay.next].time;
    uint32_t held = engine.script.clock.held;
    wait = std::min(wait, int32_t(due - held) > 0 ? due - held : 0u);
  }
  return std::max(wait, 1u);
}

}  // namespace

void compose_and_present(Engine& engine) {
  graphics::run_frame_cycle(engine.graphics, engine.script.clock.held);
  std::optional<graphics::Presentation> shown = graphics::take_presentation(engine.graphics);
  if (!shown) return;
  std::vector<platform::FrameRect> changed;
  changed.reserve(shown->changed->size());
  for (const graphics::Rect& rect : *shown->changed) changed.push_back({rect.x, rect.y, rect.width, rect.height});
  const graphics::Page& image = *shown->image;
  engine.platform.present({image.pixels.data(), image.width, image.height, image.stride, changed});
}

void drain_events(Engine& engine) { pump_window_events(engine); }

std::optional<LoopEnd> run_frame_cycle(Engine& engine) {
  script::Machine& machine = engine.script;
  drain_events(engine);
  if (engine.stopping()) return LoopEnd::Stopping;
  check_new_menu_request(engine);
  script::begin_cycle(machine);
  // Every thread of the round sees the same input.
  input::poll_pad(engine.input, machine);
  input::freeze_input(engine.input);
  if (quit_time_reached(engine)) {
    script::request_exit(machine, 0);
    return LoopEnd::Stopping;
  }

  switch (run_watched_round(engine)) {
    case script::RoundEnd::Continue: break;
    case script::RoundEnd::Stopping: return LoopEnd::Stopping;
    case script::RoundEnd::GameLoaded: return LoopEnd::GameLoaded;
    case script::RoundEnd::Restart: return LoopEnd::Restart;
  }

  if (!machine.fast_mode && graphics::frame_due(engine.graphics.pacer, engine.platform.ticks_ms())) {
    run_frame(engine);
    if (engine.graphics.pacer.display_lock == 0) run_main_window_frame(engine);
    // A quick load from the menu, checked and ready.
    if (engine.persistence.pending_load) return LoopEnd::GameLoaded;
    if (engine.graphics.pacer.display_lock == 0 && engine.host.return_to_title) {
      engine.host.return_to_title = false;
      return LoopEnd::Restart;
    }
  }

  input::process_clicks(engine.input, machine);
  // A playing movie draws its own pictures while painting is suspended.
  run_movie_cycle(engine);

  // The sound output pulls from the mixer by itself (the device's thread,
  // or the virtual clock's sleep when headless); the streaming passes that
  // follow the virtual clock, and the output's error boxes, happen here.
  audio::catch_up_sound(engine.audio, machine);
  return std::nullopt;
}

void rest_after_cycle(Engine& engine) {
  script::Machine& machine = engine.script;
  if (machine.fast_mode) return;
  uint32_t allowance = script::sleep_allowance(machine);
  if (allowance == 0) return;
  if (engine.platform.has_capability(platform::Capability::Window)) {
    engine.platform.wait_for_event(idle_wait(engine));
  } else {
    engine.platform.sleep_ms(allowance);
  }
}

}  // namespace tavelo::host
