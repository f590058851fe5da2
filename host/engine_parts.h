#pragma once
// The engine's parts as a system call reaches them. Handlers receive the
// engine as an opaque reference and ask here for the state they work on, so a
// system-call file depends only on the state headers it includes itself:
// changing one subsystem's state rebuilds that subsystem, its system calls
// and host/, and nothing else.

#include <cstdint>

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

// The main window's handler table, for handlers a system call installs (the
// drag tracker's): every platform event is offered to each handler in slot
// order. Registering twice does nothing; false when the table is full.
using WindowHandler = int32_t (*)(Engine& engine, const platform::Event& event);
bool add_window_handler(Engine& engine, WindowHandler handler);
void drop_window_handler(Engine& engine, WindowHandler handler);

// Follows a change of the engine's state in the menu bar (greying).
void refresh_window_menu(Engine& engine);

}  // namespace tavelo::host
