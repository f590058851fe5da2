#pragma once
// The fixed map from SDL key codes to the virtual-key codes the engine's input
// slots use (0..255, as the original desktop numbered its keys). Both backends
// use it: the SDL backend for live key events, the headless backend for the
// key names of replayed input ("Return", "Left Ctrl", "F1"), with the
// controller's button and axis names beside them.

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/platform.h"

namespace tavelo::platform {

// The virtual-key code of an SDL key code (SDL_Keycode), or nullopt for keys
// the engine does not know.
std::optional<int32_t> virtual_key_of_sdl_key(int32_t sdl_key);

// The virtual-key code of an SDL key name, matched without regard to case.
std::optional<int32_t> virtual_key_of_name(std::string_view name);

// Game-controller buttons and axes by SDL's controller names ("a", "start",
// "dpup", "leftx", "righttrigger"), matched without regard to case.
std::optional<PadButton> pad_button_of_name(std::string_view name);
std::optional<PadAxis> pad_axis_of_name(std::string_view name);

}  // namespace tavelo::platform
