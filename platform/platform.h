#pragma once
// The seam between the engine and the machine it runs on. One abstract class,
// grouped by service; two implementations: platform/sdl (a real window, sound
// device and desktop) and platform/headless (deterministic: a virtual clock,
// scripted message-box answers, frames kept in memory). The engine includes no
// other platform header; files and directories live in platform/file_system.h
// and are shared by both backends because both run on the real file system.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tavelo::platform {

enum class Capability {
  Window,       // a real window on a display
  AudioDevice,  // a real sound device
  Clipboard,    // a desktop clipboard shared with other programs
  Desktop,      // a desktop that can open URLs and documents
};

enum class Buttons { Ok, OkCancel, YesNo, RetryCancel };
enum class Icon { None, Error, Warning, Question, Information };
enum class Answer { Ok, Cancel, Yes, No, Retry };

// Texts that cross this boundary are UTF-8.
struct MessageBoxRequest {
  std::string_view caption;
  std::string_view text;
  Buttons buttons = Buttons::Ok;
  Icon icon = Icon::None;
};

struct LocalTime {
  int year = 0;    // e.g. 2026
  int month = 0;   // 1..12
  int day = 0;     // 1..31
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
  int second = 0;  // 0..59
};

class Platform {
 public:
  virtual ~Platform() = default;

  virtual bool has_capability(Capability capability) const = 0;

  // Clock. ticks_ms() is a millisecond counter that wraps at 2^32, like the
  // multimedia timer the engine's script clock is built on. sleep_ms() returns
  // after at least that many ms (headless: the virtual clock simply moves on).
  virtual uint32_t ticks_ms() = 0;
  virtual void sleep_ms(uint32_t milliseconds) = 0;
  virtual LocalTime local_time() = 0;

  // Modal message box. Headless backends answer by policy and never block.
  virtual Answer show_message_box(const MessageBoxRequest& request) = 0;

  // Window events are pumped between script slices; backends without a
  // window have nothing to do.
  virtual void pump_events() = 0;

  // Window caption (UTF-8); a headless backend only remembers it.
  virtual void set_caption(std::string_view caption) = 0;

  virtual void set_clipboard_text(std::string_view text) = 0;
  virtual std::string clipboard_text() = 0;

  // Opens a URL or document with the desktop's opener; false when there is
  // none or it refused.
  virtual bool open_with_desktop(std::string_view target) = 0;
};

}  // namespace tavelo::platform
