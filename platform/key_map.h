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

// The virtual keys the engine's own code names (letters and digits are their
// upper-case ASCII codes).
namespace keys {
inline constexpr int32_t kKeyReturn = 0x0D;
inline constexpr int32_t kKeyShift = 0x10;
inline constexpr int32_t kKeyControl = 0x11;
inline constexpr int32_t kKeyAlt = 0x12;
inline constexpr int32_t kKeyCapsLock = 0x14;
inline constexpr int32_t kKeyEscape = 0x1B;
inline constexpr int32_t kKeySpace = 0x20;
inline constexpr int32_t kKeyPageUp = 0x21;
inline constexpr int32_t kKeyLeft = 0x25;
inline constexpr int32_t kKeyUp = 0x26;
inline constexpr int32_t kKeyRight = 0x27;
inline constexpr int32_t kKeyDown = 0x28;
inline constexpr int32_t kKeyF1 = 0x70;
inline constexpr int32_t kKeyF2 = 0x71;
inline constexpr int32_t kKeyF3 = 0x72;
inline constexpr int32_t kKeyF4 = 0x73;
inline constexpr int32_t kKeyF5 = 0x74;
inline constexpr int32_t kKeyF6 = 0x75;
inline constexpr int32_t kKeyF7 = 0x76;
inline constexpr int32_t kKeyF8 = 0x77;
inline constexpr int32_t kKeyF9 = 0x78;
inline constexpr int32_t kKeyF10 = 0x79;
inline constexpr int32_t kKeyF11 = 0x7A;
inline constexpr int32_t kKeyF12 = 0x7B;
inline constexpr int32_t kKeyF24 = 0x87;
}  // namespace keys

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
