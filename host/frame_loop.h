#pragma once
// The engine's one loop on the main thread. Every cycle: drain the platform's
// events into input, give every script thread its slice, compose and present
// the screen when a frame is due, turn clicks into handler jumps, let the
// sound output catch up, and sleep until the nearest wait deadline (the
// virtual clock when headless). Window events, dialogs and saves therefore
// run between slices, never inside an instruction.

#include <optional>

namespace tavelo::host {

struct Engine;

enum class LoopEnd {
  Stopping,    // the engine is ending
  GameLoaded,  // a saved game is to be loaded
  Restart,     // run the start script again
};

// One cycle; the run's end when the run of the start script ended. The
// outer loop (host/startup.cpp) rests after each cycle; the browser's
// animation frames call the same cycle and rest in their own way.
std::optional<LoopEnd> run_frame_cycle(Engine& engine);

// The rest after a cycle: until the nearest wait deadline on the headless
// virtual clock, or waiting for the player's input in a real window; none
// while a thread is ready to run or the machine runs fast.
void rest_after_cycle(Engine& engine);

// Hands every pending platform event to the main window's handlers (input
// among them); a close request asks the exit question.
void drain_events(Engine& engine);

// The frame cycle: updates the sprites, recomposes the changed cells and
// hands the window picture to the platform; when nothing changed the platform
// hears nothing. Due frames run it; a message box runs it once before it shows.
void compose_and_present(Engine& engine);

}  // namespace tavelo::host
