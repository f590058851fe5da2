// The browser backend.

#include "platform/web/web_platform.h"

#include <SDL.h>
#include <emscripten.h>

#include <algorithm>
#include <string>

#include "platform/sdl/sdl_platform.h"

// Asks the page: alert() for a box with one button, confirm() otherwise
// (true for its OK). Both are modal in the browser itself.
EM_JS(int, tavelo_page_box, (const char* text, int two_buttons), {
  const message = UTF8ToString(text);
  if (!two_buttons) {
    alert(message);
    return 1;
  }
  return confirm(message) ? 1 : 0;
});

EM_JS(void, tavelo_page_title, (const char* caption), { document.title = UTF8ToString(caption); });

EM_JS(void, tavelo_page_first_frame, (), {
  if (Module.onFirstFrame) Module.onFirstFrame();
});

EM_JS(int, tavelo_page_open, (const char* target), { return window.open(UTF8ToString(target), "_blank") ? 1 : 0; });

// Suspends or resumes SDL's audio context to match. Sound is allowed once
// the context ran (the browser let it start by itself) or after the first
// gesture, which web/shell.js notes; it resumes the context then only if
// sound is wanted.
EM_JS(void, tavelo_page_sound, (int wanted), {
  Module.tavelo_sound_wanted = wanted != 0;
  const context = Module.SDL2 && Module.SDL2.audioContext;
  if (!context) return;
  if (context.state === 'running') Module.tavelo_gestured = true;
  if (!wanted && context.state === 'running') context.suspend();
  if (wanted && context.state === 'suspended' && Module.tavelo_gestured) context.resume();
});

// Whether the page's loop should look at the gamepads (web/page_loop.cpp).
EM_JS(void, tavelo_page_pads_watched, (int watched), { Module.tavelo_pads_watched = watched != 0; });

// web/page_library.js: keeps the helpers SDL's audio needs in the page.
extern "C" void tavelo_page_audio_helpers();

namespace tavelo::platform {

WebPlatform::WebPlatform(std::unique_ptr<Platform> sdl) : m_sdl(std::move(sdl)) {}

WebPlatform::~WebPlatform() = default;

bool WebPlatform::awake() {
  if (!m_resting) return true;
  if (int32_t(m_sdl->ticks_ms() - m_wake_at) >= 0) {
    m_resting = false;
    return true;
  }
  SDL_PumpEvents();
  m_resting = SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT) == SDL_FALSE;
  return !m_resting;
}

uint32_t WebPlatform::rest_left() {
  if (!m_resting) return 0;
  int32_t left = int32_t(m_wake_at - m_sdl->ticks_ms());
  return left > 0 ? uint32_t(left) : 0;
}

void WebPlatform::set_sound_wanted(bool wanted) { tavelo_page_sound(wanted ? 1 : 0); }

void WebPlatform::set_pads_wanted(bool wanted) {
  if (wanted == m_pads_watched) return;
  if (wanted) {
    m_pads_watched = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
  } else {
    // Pads SDL reported stay open until they go: the subsystem stops only
    // with none present and no report of one waiting.
    SDL_PumpEvents();
    if (SDL_NumJoysticks() > 0 || SDL_HasEvents(SDL_JOYAXISMOTION, SDL_CONTROLLERSENSORUPDATE)) return;
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    m_pads_watched = false;
  }
  tavelo_page_pads_watched(m_pads_watched ? 1 : 0);
}

void WebPlatform::present(const FrameView& frame) {
  m_sdl->present(frame);
  if (m_presented) return;
  m_presented = true;
  tavelo_page_first_frame();
}

bool WebPlatform::has_capability(Capability capability) const {
  switch (capability) {
    case Capability::Window: return true;
    case Capability::AudioDevice: return m_sdl->has_capability(capability);
    case Capability::Clipboard: return false;
    case Capability::Desktop: return true;
    case Capability::Threads: return false;
  }
  return false;
}

void WebPlatform::wait_for_event(uint32_t milliseconds) {
  // The menus draw their frames between drains (the dialogs' waits poll every
  // frame anyway): while the menu bar shows, rests last at most a frame.
  constexpr uint32_t kMenuFrameMs = 16;
  if (m_sdl->menu_bar_height() > 0) milliseconds = std::min(milliseconds, kMenuFrameMs);
  m_wake_at = m_sdl->ticks_ms() + milliseconds;
  m_resting = true;
}

Answer WebPlatform::show_message_box(const MessageBoxRequest& request) {
  std::string text(request.caption);
  if (!text.empty()) text += "\n\n";
  text += request.text;
  bool two_buttons = request.buttons != Buttons::Ok;
  bool first = tavelo_page_box(text.c_str(), two_buttons ? 1 : 0) != 0;
  switch (request.buttons) {
    case Buttons::Ok: return Answer::Ok;
    case Buttons::OkCancel: return first ? Answer::Ok : Answer::Cancel;
    case Buttons::YesNo: return first ? Answer::Yes : Answer::No;
    case Buttons::RetryCancel: return first ? Answer::Retry : Answer::Cancel;
  }
  return Answer::Cancel;
}

void WebPlatform::set_caption(std::string_view caption) {
  std::string copy(caption);
  tavelo_page_title(copy.c_str());
  m_sdl->set_caption(caption);
}

bool WebPlatform::open_with_desktop(std::string_view target) {
  std::string copy(target);
  return tavelo_page_open(copy.c_str()) != 0;
}

std::unique_ptr<WebPlatform> create_web_platform() {
  tavelo_page_audio_helpers();
  SDL_SetHint(SDL_HINT_EMSCRIPTEN_KEYBOARD_ELEMENT, "#canvas");
  std::unique_ptr<Platform> sdl = create_sdl_platform();
  if (!sdl) return nullptr;
  // No gamepads until the game takes pad input (set_pads_wanted); a page
  // sees none before a button press on one anyway.
  SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  SDL_FlushEvents(SDL_JOYAXISMOTION, SDL_CONTROLLERSENSORUPDATE);
  return std::make_unique<WebPlatform>(std::move(sdl));
}

}  // namespace tavelo::platform
