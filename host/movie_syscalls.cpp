// Movie system calls. A movie runs in its own rectangle over the screen: the
// display page is not painted from its start until movie_stop, and a flag in
// the settings store guards every start, so a movie that brings the engine
// down keeps movies off afterwards (the menu item of the same name clears it).

#include "host/movie_syscalls.h"

#include <optional>
#include <string>

#include "audio/channels.h"
#include "graphics/screen.h"
#include "host/engine_parts.h"
#include "input/input.h"
#include "movie/state.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "resources/file_lookup.h"
#include "resources/settings.h"
#include "resources/state.h"
#include "script/error_report.h"
#include "script/interpreter.h"
#include "script/state.h"
#include "script/thread.h"
#include "script/waits.h"

namespace tavelo::host {
namespace {

using namespace movie;

using resources::UserSetting;
using script::CallArgs;
using script::CallStatus;
using script::SyscallEntry;

// Every variant reports under this name.
constexpr std::string_view kPlayName = "movie_play";
constexpr std::string_view kMissingMessage = "ムービーファイル[%s]が存在しません";
constexpr int32_t kWaitPoll = 10;  // ms of script time

enum class Start { Once, Loop, Range };

State& movie(host::Engine& engine) { return host::movie_of(engine); }
uint32_t now(host::Engine& engine) { return host::platform_of(engine).ticks_ms(); }

std::optional<platform::File> open_loose(resources::State& resources, std::string_view name) {
  std::optional<std::string> host_path = resources::to_host_path(resources, name);
  if (!host_path) return std::nullopt;
  return platform::File::open(*host_path, platform::OpenMode::Read);
}

// The file as named, else under the movie directory, both loose; else the
// name through the search list, so films packed into the game's archives
// play too.
std::optional<platform::File> find_movie_file(resources::State& resources, std::string_view name) {
  if (name.empty()) return std::nullopt;
  if (std::optional<platform::File> file = open_loose(resources, name)) return file;
  if (std::optional<platform::File> file = open_loose(resources, "movie\\" + std::string(name))) return file;
  return resources::find_game_file(resources, name);
}

void close_movie(State& state) {
  state.player.reset();
}

// Opens the file into a new player placed at rect; false when it is no movie.
bool open_movie(host::Engine& engine, platform::File file, graphics::Rect rect) {
  State& state = movie(engine);
  state.player = open_player(std::move(file), state.decoding, state.sound.get());
  state.rect = rect;
  state.placed = true;
  return state.player != nullptr;
}

void start_movie(State& state, PlayRange range, uint32_t time) {
  start_player(*state.player, range, state.next_volume, time);
  state.next_volume = kNormalVolume;
}

// What the three play calls share. first_option: the argument index of
// "stop sound", followed by the rectangle.
CallStatus play(host::Engine& engine, CallArgs& args, Start start, int first_option, PlayRange range) {
  resources::State& resources = host::resources_of(engine);
  std::string flag_name(resources::registry_value_name(UserSetting::AbnormalMovieTerminateFlg));
  if (resources::read_user_setting(resources, UserSetting::AbnormalMovieTerminateFlg) != 0) return args.done();
  resources::reg_write_text_flushed(resources, flag_name, "1");

  const script::SkipState& skip = args.machine.skip;
  bool fast_forwarding = skip.fast_forward && skip.suspension == 0;
  if (start == Start::Range || !fast_forwarding) {
    std::string name(args.text_at(1));
    std::optional<platform::File> file = find_movie_file(resources, name);
    if (!file) {
      script::report_call_error_as(args, kPlayName, kMissingMessage, {name});
    } else {
      auto option = [&](int offset, int32_t fallback) {
        return args.has(first_option + offset) ? args.int_at(first_option + offset) : fallback;
      };
      graphics::Rect rect{option(1, 0), option(2, 0),
                          option(3, resources::env_setting(resources, resources::EnvInt::ClientWidth)),
                          option(4, resources::env_setting(resources, resources::EnvInt::ClientHeight))};
      if (option(0, 1) != 0) audio::stop_all_channels(host::audio_of(engine));
      graphics::set_paint_suspended(host::graphics_of(engine), true);
      State& state = movie(engine);
      if (start == Start::Loop) close_movie(state);
      // A start while a movie is open plays that movie (on, or again from
      // its start once it has ended); the name is not opened.
      bool existing = state.player != nullptr;
      bool ready = existing || open_movie(engine, std::move(*file), rect);
      if (existing && start == Start::Once && player_playing(*state.player)) {
        state.next_volume = kNormalVolume;
      } else if (ready) {
        range.loop = start == Start::Loop;
        start_movie(state, range, now(engine));
        // A key pressed before the film (the one that chose to start it)
        // must not end a movie_wait at once.
        (void)input::take_key_press(host::input_of(engine));
      }
      // A file that exists but is no film ends the start without a message;
      // nothing plays.
    }
  }
  resources::reg_write_text_flushed(resources, flag_name, "0");
  return args.done();
}

CallStatus sys_movie_play(host::Engine& engine, CallArgs& args) { return play(engine, args, Start::Once, 2, {}); }

CallStatus sys_movie_play_loop(host::Engine& engine, CallArgs& args) {
  return play(engine, args, Start::Loop, 2, {});
}

CallStatus sys_movie_play_range(host::Engine& engine, CallArgs& args) {
  return play(engine, args, Start::Range, 4, PlayRange{args.int_at(2), std::max(args.int_at(3), 0), false});
}

CallStatus sys_movie_stop(host::Engine& engine, CallArgs& args) {
  close_movie(movie(engine));
  graphics::set_paint_suspended(host::graphics_of(engine), false);
  return args.done();
}

bool movie_playing(host::Engine& engine) {
  const State& state = movie(engine);
  return state.player && player_playing(*state.player);
}

CallStatus sys_is_movie_play(host::Engine& engine, CallArgs& args) { return args.done(movie_playing(engine) ? 1 : 0); }

CallStatus sys_movie_volume(host::Engine& engine, CallArgs& args) {
  movie(engine).next_volume = args.int_at(1);
  return args.done();
}

// Polls every 10 ms while the movie plays; when skippable, a click or a key
// ends the wait (the movie itself plays on until movie_stop).
CallStatus sys_movie_wait(host::Engine& engine, CallArgs& args) {
  script::Frame& frame = args.thread.frame();
  uint32_t time = args.machine.clock.held;
  if (frame.waiting && !script::deadline_reached(time, frame.wait_deadline)) return CallStatus::Again;
  bool skippable = !args.has(1) || args.int_at(1) != 0;
  script::Thread& thread = args.thread;
  bool clicked = thread.pending_left || thread.pending_right || thread.pending_middle;
  if (movie_playing(engine) && !(skippable && (clicked || input::take_key_press(host::input_of(engine))))) {
    frame.waiting = true;
    frame.wait_deadline = script::as_deadline(int64_t(time) + kWaitPoll);
    return CallStatus::Again;
  }
  // The clicks and the key are used up, and so is the click of a decide or
  // cancel key that ended the wait: it reaches the threads only after this
  // slice. Either would end the next wait at once.
  (void)input::take_key_press(host::input_of(engine));
  thread.pending_left = thread.pending_right = thread.pending_middle = false;
  input::drop_latched_clicks(host::input_of(engine));
  return script::finish_wait(args, 0);
}

constexpr auto kNone = script::SyscallFlags::None;

constexpr SyscallEntry kSyscalls[] = {
    SyscallEntry{0xA79731A2, "movie_play", sys_movie_play, kNone,
                 "str file [, int stop_sound = 1 [, int x = 0 [, int y = 0 [, int width = CLIENT_WIDTH "
                 "[, int height = CLIENT_HEIGHT]]]]] -> int 0; plays once in the rectangle"},
    SyscallEntry{0xD14A4D9C, "movie_play_loop", sys_movie_play_loop, kNone,
                 "str file [, int stop_sound = 1 [, int x = 0 [, int y = 0 [, int width = "
                 "CLIENT_WIDTH [, int height = CLIENT_HEIGHT]]]]] -> int 0; plays until movie_stop"},
    SyscallEntry{0x18423EAA, "movie_play_range", sys_movie_play_range, kNone,
                 "str file, int from_ms, int to_ms [, int stop_sound = 1 [, int x = 0 [, int y "
                 "= 0 [, int width = CLIENT_WIDTH [, int height = CLIENT_HEIGHT]]]]] -> int 0"},
    SyscallEntry{0x221C2CC2, "movie_stop", sys_movie_stop, kNone, "-> int 0; closes the movie, painting resumes"},
    SyscallEntry{0xD6C3BBAC, "is_movie_play", sys_is_movie_play, kNone, "-> int 1 while the movie plays"},
    SyscallEntry{0xE3605CFA, "movie_volume", sys_movie_volume, kNone,
                 "int volume -> int 0; for the next start, 1000 normal"},
    SyscallEntry{0xF63CB36C, "movie_wait", sys_movie_wait, kNone,
                 "[int skippable = 1] -> int 0; waits for the end, or for a click or key when skippable"},
};

}  // namespace

std::span<const SyscallEntry> movie_syscalls() { return kSyscalls; }

}  // namespace tavelo::host
