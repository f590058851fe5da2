#pragma once
// State of the movie subsystem: the one movie that may be open (what scripts
// see as the movie window), its rectangle on the screen, the volume for the
// next start, and how it decodes and where its sound goes, both set by the
// host at start-up. One per engine (host::Engine::movie); the movie system
// calls open and close the player, the host advances and draws it.

#include <cstdint>
#include <memory>
#include <vector>

#include "graphics/rect.h"
#include "movie/player.h"

namespace tavelo::movie {

inline constexpr int32_t kNormalVolume = 1000;

struct State {
  PlayerHandle player;
  graphics::Rect rect;  // screen coordinates
  int32_t next_volume = kNormalVolume;
  // The picture must be drawn again (a new placement).
  bool placed = false;

  // The window picture the movie is drawn into (24-bit, the window's size).
  std::vector<uint8_t> window_pixels;
  int32_t window_width = 0;
  int32_t window_height = 0;

  Decoding decoding = Decoding::Caller;
  std::unique_ptr<SoundOutput> sound;  // null: movies play silently

  State() = default;
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  // The player goes first: its worker may still be writing to the sound output.
  ~State() { player.reset(); }
};

}  // namespace tavelo::movie
