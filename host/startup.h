#pragma once
// Start-up, the outer loop and the orderly shutdown: registers the game's
// search entries, reads the environment file, guards against a second
// instance, runs the start script's initialisers and then the start script
// again and again (restarts, loads) until the game ends.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/instance_lock.h"

namespace tavelo::platform {
class TextEncoding;
}

namespace tavelo::host {

struct Engine;

struct StartupOptions {
  std::string environment_file = "tavelo.env";
  // Ends the run after this many ms of script time.
  std::optional<uint32_t> quit_after_ms;
  // Opens the debugger link on 127.0.0.1 at this port (0: any free port) and
  // waits for a debugger before the game starts.
  std::optional<uint16_t> debug_port;
  // The code page came from the command line: the environment's CODEPAGE
  // does not change it.
  bool code_page_given = false;
};

// run_engine's answer when the environment file names another code page
// than the engine's (CODEPAGE): nothing has started yet; the caller makes an
// engine with environment_code_page(engine) and runs that instead.
inline constexpr int kOtherCodePage = -2;

// Runs the engine to its end; returns the process exit status (0 for a normal
// end, 255 for an abnormal one) or kOtherCodePage.
int run_engine(Engine& engine, const StartupOptions& options);

// Where saves, the system save, read marks and the debug log of a game go
// when its folder cannot be written (an installed game):
// <data>/<global section>/<local section> (the sections of its settings,
// REG_GLOBAL and REG_LOCAL, made file names as the settings file's are),
// with <data> TAVELO_DATA_HOME, else $XDG_DATA_HOME/tavelo (when absolute),
// else $HOME/.local/share/tavelo. nullopt when none of them is set.
std::optional<std::string> per_user_save_root(const platform::TextEncoding& encoding, std::string_view global_section,
                                              std::string_view local_section);

// The environment file's CODEPAGE (ASCII; empty when it names none).
std::string environment_code_page(Engine& engine);

// The same run taken one cycle at a time, for a host whose outer loop is not
// the engine's own (the browser calls back once per animation frame):
// start_engine, then step_engine until it says Ended, resting after each
// Cycled step as rest_after_cycle does (or as the host sees fit).
struct EngineRun {
  enum class Stage { Starting, Initialisers, Game, Ended };
  Stage stage = Stage::Starting;
  bool first_run = true;  // the start script has not run yet
  bool load = false;      // the next run continues a loaded game
  int status = 0;         // the exit status, once Ended
  platform::InstanceLock lock;  // held from start-up to the end
};

enum class EngineStep {
  Cycled,    // a cycle ran; a rest may follow
  RunBegun,  // a run of the start script ended and the next was readied: no rest
  Ended,     // the engine has shut down; EngineRun::status holds the exit status
};

// Start-up up to the first cycle; false when the engine ended before it.
bool start_engine(Engine& engine, const StartupOptions& options, EngineRun& run);
EngineStep step_engine(Engine& engine, EngineRun& run);

// The shutdown that ExecOut and the end of the outer loop share: frees every
// store and script and writes the settings kept at exit.
void shut_down(Engine& engine);

}  // namespace tavelo::host
