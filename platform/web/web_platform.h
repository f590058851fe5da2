#pragma once
// The browser backend: the SDL backend in a page (SDL draws into the page's
// canvas, takes its mouse, touch, keyboard and gamepad events and plays
// through the page's audio), with what a page does differently. Nothing may
// block: the page's animation frames drive the engine (web/web_main.cpp), so
// waiting for input only notes when the engine wants to run again; there are
// no threads; message boxes are the browser's own; no programs are started.
// Main thread only.

#include <memory>

#include "platform/platform.h"

namespace tavelo::platform {

class WebPlatform final : public Platform {
 public:
  // sdl: the SDL backend, already created in the page.
  explicit WebPlatform(std::unique_ptr<Platform> sdl);
  ~WebPlatform() override;

  // Whether the engine wants a cycle now: the time a rest asked for has come,
  // or input arrived meanwhile.
  bool awake();
  // What is left of the rest the engine asked for, in ms (0 when awake).
  uint32_t rest_left();

  // Whether the mix may sound: while it may not, the page's audio output is
  // suspended (a running one costs the browser a few percent of a core
  // feeding silence); once it may, the output resumes at once, if the player
  // has already clicked or pressed a key on the page (browsers allow sound
  // only after that). Called after every cycle.
  void set_sound_wanted(bool wanted);

  // Whether the game takes pad input. The page watches gamepads only while
  // it does: a page that listens for gamepads has the browser poll them
  // sixty times a second, some 2 % of a core. Called after every cycle.
  void set_pads_wanted(bool wanted);

  bool has_capability(Capability capability) const override;
  uint32_t ticks_ms() override { return m_sdl->ticks_ms(); }
  // A page cannot sleep; the engine only sleeps where it waits for input.
  void sleep_ms(uint32_t) override {}
  void wait_for_event(uint32_t milliseconds) override;
  LocalTime local_time() override { return m_sdl->local_time(); }
  bool poll_event(Event& event) override { return m_sdl->poll_event(event); }
  void inject_event(Event event) override { m_sdl->inject_event(std::move(event)); }
  void set_scripted_input(bool more_to_come) override { m_sdl->set_scripted_input(more_to_come); }
  // The first frame is reported to the page (Module.onFirstFrame).
  void present(const FrameView& frame) override;
  bool read_presented_frame(std::vector<uint8_t>& pixels, int32_t& width, int32_t& height) override {
    return m_sdl->read_presented_frame(pixels, width, height);
  }
  void open_window(const WindowRequest& request) override { m_sdl->open_window(request); }
  std::vector<DisplayMode> display_modes() override { return m_sdl->display_modes(); }
  DisplayMode desktop_mode() override { return m_sdl->desktop_mode(); }
  DesktopArea desktop_area() override { return m_sdl->desktop_area(); }
  bool set_screen_mode(const ScreenRequest& request) override { return m_sdl->set_screen_mode(request); }
  void set_topmost(bool) override {}
  std::optional<DesktopArea> window_area() override { return m_sdl->window_area(); }
  void raise_window() override {}
  void set_menu(std::span<const MenuEntry> menus) override { m_sdl->set_menu(menus); }
  int32_t menu_bar_height() override { return m_sdl->menu_bar_height(); }
  bool open_audio(const AudioFormat& wanted, AudioSource& source, AudioFormat& obtained) override {
    return m_sdl->open_audio(wanted, source, obtained);
  }
  void close_audio() override { m_sdl->close_audio(); }
  Answer show_message_box(const MessageBoxRequest& request) override;
  DialogId open_dialog(const DialogRequest& request) override { return m_sdl->open_dialog(request); }
  DialogOutcome poll_dialog(DialogId dialog) override { return m_sdl->poll_dialog(dialog); }
  void warp_pointer(int32_t x, int32_t y) override { m_sdl->warp_pointer(x, y); }
  void set_pointer_visible(bool visible) override { m_sdl->set_pointer_visible(visible); }
  void confine_pointer(bool) override {}
  void add_pad_mappings(const std::string& file_path) override { m_sdl->add_pad_mappings(file_path); }
  void set_caption(std::string_view caption) override;
  void set_clipboard_text(std::string_view text) override { m_sdl->set_clipboard_text(text); }
  std::string clipboard_text() override { return m_sdl->clipboard_text(); }
  bool open_with_desktop(std::string_view target) override;
  std::optional<int32_t> launch_process(const ProcessLaunch&) override { return std::nullopt; }
  std::optional<int32_t> process_exit_status(int32_t) override { return -1; }
  void set_status_text(std::string_view text) override { m_sdl->set_status_text(text); }

 private:
  std::unique_ptr<Platform> m_sdl;
  uint32_t m_wake_at = 0;
  bool m_resting = false;
  bool m_presented = false;
  bool m_pads_watched = false;
};

// The SDL backend made for the page (keys are taken from the canvas only, so
// the page's own controls keep theirs) wrapped in WebPlatform; null when SDL
// cannot start.
std::unique_ptr<WebPlatform> create_web_platform();

}  // namespace tavelo::platform
