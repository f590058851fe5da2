#pragma once
// Fills the script machine's host hooks: the message instructions go to the
// message window, and long work inside an instruction drains the window's
// events. Called once by the engine's constructor.

namespace tavelo::host {

struct Engine;

void install_hooks(Engine& engine);

}  // namespace tavelo::host
