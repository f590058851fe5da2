#pragma once
// The sound output's connection to the engine: at start-up the platform's
// device is opened (pulling the mix through State::mix) and sound files are
// opened through the resources file layer; each cycle of the frame loop the
// main thread shows the output's error boxes and, when no real device drives
// time (headless), runs the streaming passes on the virtual clock; at
// shutdown the device is closed. Called by host/ only.

namespace tavelo::script {
struct Machine;
}

namespace tavelo::audio {

struct State;

// Opens the device with the first format the platform accepts. A real device
// gets the background streaming thread; without one (headless) the passes
// run in catch_up_sound, so the output follows the virtual clock exactly.
// A device that cannot be opened is reported once with the error box, and
// the game then runs silently.
void start_sound(State& audio, script::Machine& machine);

// Once per frame-loop cycle on the main thread.
void catch_up_sound(State& audio, script::Machine& machine);

// Closes the device (a headless device pulls the mix up to the current
// virtual time first) and stops every stream.
void stop_sound(State& audio);

}  // namespace tavelo::audio
