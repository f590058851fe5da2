#pragma once
// The engine aggregate: one state record per subsystem plus the platform and
// the game's text encoding. main() (or a test) creates it and passes it by
// reference; nothing in the engine lives in globals, so a process may create
// and destroy engines one after another. Only host/ and the subsystems'
// system-call files include this header; inner code takes its own state.

#include "audio/state.h"
#include "graphics/state.h"
#include "host/state.h"
#include "input/state.h"
#include "library/state.h"
#include "movie/state.h"
#include "persistence/state.h"
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
  script::Machine script;
  host::State host;
  input::State input;
  graphics::State graphics;
  text::State text;
  // After resources: the streaming thread looks files up until audio goes.
  audio::State audio;
  // After audio: an open movie's decoder writes to the mixer's movie stream.
  movie::State movie;
  persistence::State persistence;
  library::State library;

  bool stopping() const { return script.stopping(); }
};

}  // namespace tavelo::host
