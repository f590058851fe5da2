#pragma once
// The movie player's connection to the engine: its sound goes to the
// mixer's movie stream, it decodes on its own thread unless time is
// virtual, and once per frame-loop cycle its due picture is drawn over the
// movie rectangle (in window coordinates) and handed to the platform.
// Called by host/startup.cpp and host/frame_loop.cpp.

namespace tavelo::host {

struct Engine;

// Start-up, after the sound output started.
void connect_movie(Engine& engine);
// Each cycle of the frame loop.
void run_movie_cycle(Engine& engine);
// Shutdown: the movie closes before the sound output does.
void close_movie(Engine& engine);

}  // namespace tavelo::host
