#pragma once
// The engine aggregate: one state record per subsystem plus the platform and
// the game's text encoding. main() (or a test) creates it and passes it by
// reference; nothing in the engine lives in globals, so a process may create
// and destroy engines one after another. Only host/ and the subsystems'
// system-call files include this header; inner code takes its own state.
//
// The records live in storage the engine allocates (engine.cpp); the members
// here are references to them, so `engine.graphics.x` reads as before while
// this header names the records only. A file includes the state headers of
// the records it looks into, and a change to one record's header recompiles
// the files that use it, not every file that holds an engine.

#include <memory>
#include <string>

#include "host/engine_parts.h"

namespace tavelo::platform {
class TextEncoding;
}
namespace tavelo::host {
struct State;
}

namespace tavelo::host {

struct Engine {
  Engine(platform::Platform& platform, const platform::TextEncoding& encoding, std::string working_directory);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

 private:
  // The records by value (engine.cpp), which sets the order they are made
  // and destroyed in. Declared before the references bound to it.
  struct Records;
  std::unique_ptr<Records> m_records;

 public:
  platform::Platform& platform;
  const platform::TextEncoding& encoding;

  resources::State& resources;
  script::Machine& script;
  host::State& host;
  input::State& input;
  graphics::State& graphics;
  text::State& text;
  audio::State& audio;
  movie::State& movie;
  persistence::State& persistence;
  library::State& library;

  bool stopping() const;
};

}  // namespace tavelo::host
