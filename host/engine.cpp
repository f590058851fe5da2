// Engine construction.

#include "host/engine.h"

#include "audio/state.h"
#include "graphics/state.h"
#include "host/engine_parts.h"
#include "host/hooks.h"
#include "host/menus.h"
#include "host/state.h"
#include "input/state.h"
#include "library/state.h"
#include "movie/state.h"
#include "persistence/state.h"
#include "platform/slice_watch.h"
#include "platform/text_encoding.h"
#include "resources/state.h"
#include "script/state.h"
#include "text/state.h"

namespace tavelo::host {

// Made in this order, destroyed in reverse.
struct Engine::Records {
  Records(Engine& engine, platform::Platform& platform, const platform::TextEncoding& encoding,
          std::string working_directory)
      : resources(encoding, std::move(working_directory)), script(engine, platform, resources) {}

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
};

Engine::Engine(platform::Platform& platform_, const platform::TextEncoding& encoding_, std::string working_directory)
    : m_records(std::make_unique<Records>(*this, platform_, encoding_, std::move(working_directory))),
      platform(platform_),
      encoding(encoding_),
      resources(m_records->resources),
      script(m_records->script),
      host(m_records->host),
      input(m_records->input),
      graphics(m_records->graphics),
      text(m_records->text),
      audio(m_records->audio),
      movie(m_records->movie),
      persistence(m_records->persistence),
      library(m_records->library) {
  install_hooks(*this);
}

Engine::~Engine() = default;

bool Engine::stopping() const { return script.stopping(); }

platform::Platform& platform_of(Engine& engine) { return engine.platform; }
resources::State& resources_of(Engine& engine) { return engine.resources; }
script::Machine& machine_of(Engine& engine) { return engine.script; }
graphics::State& graphics_of(Engine& engine) { return engine.graphics; }
text::State& text_of(Engine& engine) { return engine.text; }
input::State& input_of(Engine& engine) { return engine.input; }
audio::State& audio_of(Engine& engine) { return engine.audio; }

bool add_window_handler(Engine& engine, WindowHandler handler) {
  return register_window_handler(engine.host.window.handlers, handler);
}
void drop_window_handler(Engine& engine, WindowHandler handler) {
  remove_window_handler(engine.host.window.handlers, handler);
}

persistence::State& persistence_of(Engine& engine) { return engine.persistence; }
library::State& library_of(Engine& engine) { return engine.library; }

void refresh_window_menu(Engine& engine) { refresh_menu(engine); }

}  // namespace tavelo::host
