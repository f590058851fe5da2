// Engine construction.

#include "host/engine.h"

#include "host/engine_parts.h"
#include "host/hooks.h"
#include "host/menus.h"
#include "platform/slice_watch.h"
#include "platform/text_encoding.h"

namespace tavelo::host {

Engine::Engine(platform::Platform& platform_, const platform::TextEncoding& encoding_, std::string working_directory)
    : platform(platform_),
      encoding(encoding_),
      resources(encoding_, std::move(working_directory)),
      script(*this, platform_, resources) {
  install_hooks(*this);
}

Engine::~Engine() = default;

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
