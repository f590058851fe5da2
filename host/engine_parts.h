#pragma once
// The engine's parts as a system call reaches them. Handlers receive the
// engine as an opaque reference and ask here for the state they work on, so a
// system-call file depends only on the state headers it includes itself:
// changing one subsystem's state rebuilds that subsystem, its system calls
// and host/, and nothing else.

#include <cstdint>

#include "graphics/rect.h"
// The save and load operations the persistence calls run, and their dialogs.
#include "host/save_dialogs.h"
#include "host/save_game.h"

namespace tavelo::platform {
class Platform;
struct Event;
}
namespace tavelo::resources {
struct State;
}
namespace tavelo::script {
struct Machine;
}
namespace tavelo::graphics {
struct State;
struct Page;
}
namespace tavelo::text {
struct State;
}
namespace tavelo::input {
struct State;
}
namespace tavelo::audio {
struct State;
}
namespace tavelo::movie {
struct State;
}
namespace tavelo::persistence {
struct State;
}
namespace tavelo::library {
struct State;
}

namespace tavelo::host {

struct Engine;

platform::Platform& platform_of(Engine& engine);
resources::State& resources_of(Engine& engine);
script::Machine& machine_of(Engine& engine);
graphics::State& graphics_of(Engine& engine);
text::State& text_of(Engine& engine);
input::State& input_of(Engine& engine);
audio::State& audio_of(Engine& engine);
movie::State& movie_of(Engine& engine);
persistence::State& persistence_of(Engine& engine);
library::State& library_of(Engine& engine);

// For the movie calls, which see neither audio, graphics nor input: stops the
// music and every sound channel; suspends or resumes painting the display
// page; takes the key pressed since the last look (false when none).
void stop_all_sound(Engine& engine);
void suspend_painting(Engine& engine, bool suspended);
bool take_key_press(Engine& engine);
// Drops the clicks latched since the last cycle.
void drop_latched_clicks(Engine& engine);

// The main window's handler table, for handlers a system call installs (the
// drag tracker's): every platform event is offered to each handler in slot
// order. Registering twice does nothing; false when the table is full.
using WindowHandler = int32_t (*)(Engine& engine, const platform::Event& event);
bool add_window_handler(Engine& engine, WindowHandler handler);
void drop_window_handler(Engine& engine, WindowHandler handler);

// Pages for subsystems that draw into them without seeing the graphics
// state (text): the page of a handle (nullptr when there is none), its alpha
// page (nullptr when it has none), the display page's handle (0 while there
// is none) and the change marks of what was drawn.
graphics::Page* page_of(Engine& engine, int32_t handle);
graphics::Page* alpha_page_of(Engine& engine, const graphics::Page& page);
int32_t display_page_of(Engine& engine);
void mark_page_changed(Engine& engine, int32_t handle, graphics::Rect rect);

// Window pixels (as platform events give them) to game-screen pixels and back.
void window_to_screen_point(Engine& engine, int32_t& x, int32_t& y);
void screen_to_window_point(Engine& engine, int32_t& x, int32_t& y);
// Follows a change of the engine's state in the menu bar (greying).
void refresh_window_menu(Engine& engine);

}  // namespace tavelo::host
