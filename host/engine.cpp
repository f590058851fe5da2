// Engine construction.

#include "host/engine.h"

#include "graphics/change_marks.h"
#include "graphics/page_table.h"
#include "host/engine_parts.h"
#include "host/hooks.h"
#include "host/menus.h"
#include "graphics/screen.h"
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
graphics::Page* page_of(Engine& engine, int32_t handle) { return graphics::find_page(engine.graphics, handle); }
graphics::Page* alpha_page_of(Engine& engine, const graphics::Page& page) {
  return graphics::find_alpha(engine.graphics, page);
}
int32_t display_page_of(Engine& engine) { return engine.graphics.screen.display_page; }
void mark_page_changed(Engine& engine, int32_t handle, graphics::Rect rect) {
  graphics::mark_changed(engine.graphics, handle, rect);
}

void window_to_screen_point(Engine& engine, int32_t& x, int32_t& y) {
  graphics::Point point = graphics::window_to_screen(engine.graphics.screen, {x, y});
  x = point.x;
  y = point.y;
}

void screen_to_window_point(Engine& engine, int32_t& x, int32_t& y) {
  graphics::Point point = graphics::screen_to_window(engine.graphics.screen, {x, y});
  x = point.x;
  y = point.y;
}

void refresh_window_menu(Engine& engine) { refresh_menu(engine); }

}  // namespace tavelo::host
