#pragma once
// The engine aggregate: one state record per subsystem plus the platform and
// the game's text encoding. main() (or a test) creates it and passes it by
// reference; nothing in the engine lives in globals, so a process may create
// and destroy engines one after another.

#include <optional>
#include <string>

#include "graphics/state.h"
#include "host/state.h"
#include "resources/state.h"
#include "script/state.h"
#include "text/state.h"

namespace tavelo::platform {
class Platform;
class TextEncoding;
}  // namespace tavelo::platform

namespace tavelo::host {

struct Engine {
  Engine(platform::Platform& platform, const platform::TextEncoding& encoding, std::string working_directory);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  platform::Platform& platform;
  const platform::TextEncoding& encoding;

  resources::State resources;
  script::State script;
  host::State host;
  graphics::State graphics;
  text::State text;

  // Set once the engine has been asked to end (normal end 0, abnormal 255).
  // Everything that runs a loop checks it and unwinds to the orderly shutdown.
  std::optional<int> exit_status;
  bool stopping() const { return exit_status.has_value(); }
};

// Asks the engine to end with status; the first request wins.
void request_exit(Engine& engine, int status);

}  // namespace tavelo::host
