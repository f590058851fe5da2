#pragma once
// Windowed and full-screen presentation: the aspect classes of resolutions,
// the wide-monitor choice, the search for a full-screen mode that fits the
// game, going full screen and back (desktop full screen, or a display-mode
// change when the player asked for one), the toggle key and the window
// events that leave full screen. The main window registers the handler; the
// menu, the message boxes, start-up and shutdown call set_full_screen.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/platform.h"

namespace tavelo::host {

struct Engine;

struct DisplayModeState {
  bool full_screen = false;
  // Switches closer than 1000 ms to the previous one are ignored.
  bool switched = false;
  uint32_t last_switch_ms = 0;
  // Index 0..5 into the lists of aspect classes searched for a mode.
  int32_t wide_choice = 0;
  int32_t toggle_key = 0x73;  // F4, or F2 with AKAMENU
  bool alt_held = false;
  // What system call 0x2159EBE0 found first; later calls repeat it.
  std::optional<int32_t> found_height;
  // The saved window state restores full screen after the initialisers.
  bool restore_full_screen = false;
  int32_t requested_frequency = 0;  // FullScFreq, Hz; 0 unspecified
  int32_t requested_bits = 0;       // FullScBits; 0 unspecified
  platform::ScreenRequest screen;   // the mode in force
};

// r = width * 100 / height: class 0 up to 135 (4:3-like), 1 below 175 (16:10
// and 16:9), 2 above.
int32_t aspect_class(int32_t width, int32_t height);

// The classes a wide choice searches, in order (empty: the game size).
std::span<const int32_t> wide_classes(int32_t wide_choice);

// The full-screen size for a game of width × height: for each class of the
// choice, the smallest mode (width, then height) of at least 15 bits per
// pixel, of that class, that holds the game; the game size when none does.
platform::DisplayMode choose_full_screen_size(std::span<const platform::DisplayMode> modes, int32_t width,
                                              int32_t height, int32_t wide_choice);

// The scale in fiftieths that fits the game into the chosen size.
int32_t fit_scale(const platform::DisplayMode& chosen, int32_t width, int32_t height);

// The display modes to try, in order, for the chosen size: the requested
// depth and rate, the requested depth, then the desktop's depth.
std::vector<platform::DisplayMode> mode_candidates(std::span<const platform::DisplayMode> modes,
                                                   const platform::DisplayMode& chosen, int32_t requested_bits,
                                                   int32_t requested_frequency, int32_t current_bits);

// The wide choice at start-up from DETECTWIDEMONITOR, DEFAULTISWIDE, the
// stored FullScWide5 and the desktop.
int32_t decide_wide_choice(Engine& engine);

// Start-up: wide choice, window-size values, toggle key, saved state.
void set_up_display_modes(Engine& engine);
// After the initialisers: full screen again when the last run ended so.
void restore_screen_state(Engine& engine);

// Switches; false when nothing changed (a refused mode leaves the window).
bool set_full_screen(Engine& engine, bool on);

// The display-mode handler of the main window's handler table.
int32_t display_mode_handler(Engine& engine, const platform::Event& event);

// The platform request for full screen with the player's settings.
platform::ScreenRequest full_screen_request(Engine& engine, const platform::DisplayMode& mode, bool exclusive);

}  // namespace tavelo::host
