// SDL event translation.

#include "platform/sdl/sdl_events.h"

#include <optional>

#include "platform/key_map.h"

namespace tavelo::platform {
namespace {

std::optional<MouseButton> mouse_button_of(uint8_t button) {
  switch (button) {
    case SDL_BUTTON_LEFT: return MouseButton::Left;
    case SDL_BUTTON_RIGHT: return MouseButton::Right;
    case SDL_BUTTON_MIDDLE: return MouseButton::Middle;
    default: return std::nullopt;
  }
}

}  // namespace

bool translate_event(const SDL_Event& raw, Event& event) {
  event = Event{};
  // SDL counts from its initialisation; ticks_ms() is one ahead (never 0).
  event.time = raw.common.timestamp + 1;
  switch (raw.type) {
    // The close button sends a window close and then SDL_QUIT (the last
    // window); only the latter counts, or No to the exit question would be
    // followed by the same question again.
    case SDL_QUIT: event.type = EventType::CloseRequested; return true;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      std::optional<int32_t> key = virtual_key_of_sdl_key(raw.key.keysym.sym);
      if (!key) return false;
      event.type = raw.type == SDL_KEYDOWN ? EventType::KeyDown : EventType::KeyUp;
      event.key = *key;
      event.repeat = raw.key.repeat != 0;
      return true;
    }
    case SDL_MOUSEMOTION:
      event.type = EventType::MouseMove;
      event.x = raw.motion.x;
      event.y = raw.motion.y;
      return true;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      std::optional<MouseButton> button = mouse_button_of(raw.button.button);
      if (!button) return false;
      event.type = raw.type == SDL_MOUSEBUTTONDOWN ? EventType::MouseDown : EventType::MouseUp;
      event.button = *button;
      event.clicks = raw.button.clicks;
      event.x = raw.button.x;
      event.y = raw.button.y;
      return true;
    }
    case SDL_MOUSEWHEEL:
      event.type = EventType::Wheel;
      event.wheel = raw.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -raw.wheel.y : raw.wheel.y;
      return event.wheel != 0;
    case SDL_TEXTINPUT:
      event.type = EventType::TextInput;
      event.text = raw.text.text;
      return true;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
      if (raw.cbutton.button >= uint8_t(PadButton::Count)) return false;
      event.type = raw.type == SDL_CONTROLLERBUTTONDOWN ? EventType::PadButtonDown : EventType::PadButtonUp;
      event.pad_button = PadButton(raw.cbutton.button);
      return true;
    case SDL_CONTROLLERAXISMOTION:
      if (raw.caxis.axis >= uint8_t(PadAxis::Count)) return false;
      event.type = EventType::PadAxis;
      event.pad_axis = PadAxis(raw.caxis.axis);
      event.axis_value = raw.caxis.value;
      return true;
    case SDL_CONTROLLERDEVICEADDED: event.type = EventType::PadAdded; return true;
    case SDL_CONTROLLERDEVICEREMOVED: event.type = EventType::PadRemoved; return true;
    case SDL_DROPFILE:
      event.type = EventType::FileDropped;
      if (raw.drop.file) {
        event.text = raw.drop.file;
        SDL_free(raw.drop.file);
      }
      return true;
    case SDL_DISPLAYEVENT:
      if (raw.display.event != SDL_DISPLAYEVENT_ORIENTATION) return false;
      event.type = EventType::DisplayChanged;
      return true;
    case SDL_WINDOWEVENT:
      switch (raw.window.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED: event.type = EventType::FocusGained; return true;
        case SDL_WINDOWEVENT_FOCUS_LOST: event.type = EventType::FocusLost; return true;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SIZE_CHANGED: event.type = EventType::Exposed; return true;
        case SDL_WINDOWEVENT_MAXIMIZED: event.type = EventType::WindowMaximized; return true;
        case SDL_WINDOWEVENT_MINIMIZED: event.type = EventType::WindowMinimized; return true;
        case SDL_WINDOWEVENT_DISPLAY_CHANGED: event.type = EventType::DisplayChanged; return true;
        default: return false;
      }
    default: return false;
  }
}

}  // namespace tavelo::platform
