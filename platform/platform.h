#pragma once
// The seam between the engine and the machine it runs on. One abstract class,
// grouped by service; two implementations: platform/sdl (a real window, sound
// device and desktop) and platform/headless (deterministic: a virtual clock,
// scripted events and message-box answers, frames and sound kept in memory).
// The engine includes no other platform header; files and directories live in
// platform/file_system.h, environment variables and memory in
// platform/system.h, both shared by the two backends; the debugger link's
// sockets in platform/loopback_socket.h.
//
// Every method is called on the main thread, except that an AudioSource is
// called back on the backend's audio thread (see open_audio), and that a
// backend with Capability::AudioDevice also has ticks_ms() and sleep_ms()
// called on the engine's sound streaming thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process_launcher.h"

namespace tavelo::platform {

enum class Capability {
  Window,       // a real window on a display
  AudioDevice,  // a real sound device
  Clipboard,    // a desktop clipboard shared with other programs
  Desktop,      // a desktop that can open URLs and documents
  Threads,      // background threads may run (a page without cross-origin isolation has none)
};

// ---- message boxes and dialogs

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

enum class DialogKind {
  InputString,  // one line of text; text is the default
  SaveFile,     // a file to write; text is the proposed path; asks before overwriting
  OpenFile,     // an existing file to read; text is the proposed path or a directory
  Panel,        // an in-window dialog whose contents the engine draws (content)
};

enum class DialogStatus { Pending, Accepted, Cancelled, Failed };

// The contents of an in-window dialog. The engine implements them (dialogs/)
// with Dear ImGui calls; the backend's UI layer opens a modal window titled
// title() and calls draw() inside it once per UI frame, on the main thread,
// until draw() returns something other than Pending. The engine keeps its own
// reference and reads what the player chose from it after the dialog ends.
class DialogContent {
 public:
  virtual ~DialogContent() = default;
  virtual std::string title() const = 0;  // UTF-8
  virtual DialogStatus draw() = 0;
};

struct DialogRequest {
  DialogKind kind = DialogKind::InputString;
  std::string title;
  std::string prompt;
  std::string text;
  std::string filter;             // file dialogs, e.g. "TXT Files (*.TXT)"
  std::string default_extension;  // file dialogs, without the dot
  std::shared_ptr<DialogContent> content;  // Panel dialogs
};

using DialogId = uint32_t;

struct DialogOutcome {
  DialogStatus status = DialogStatus::Failed;
  std::string text;  // the entered text or the chosen path, when Accepted
};

// ---- events

enum class EventType {
  None,
  CloseRequested,  // the window's close button (or the replayed "close")
  KeyDown,
  KeyUp,
  MouseMove,
  MouseDown,
  MouseUp,
  Wheel,
  TextInput,
  PadButtonDown,
  PadButtonUp,
  PadAxis,
  PadAdded,
  PadRemoved,
  FocusGained,
  FocusLost,
  Exposed,       // the window must be painted again
  FileDropped,
  WindowMaximized,
  WindowMinimized,
  DisplayChanged,  // the desktop's display mode changed under the window
  MenuCommand,     // a menu item was chosen; key is its command id
  MenuOpening,     // the menu bar or one of its menus opens: refresh the items
  Screenshot,      // replayed input only: write the presented frame to text (a PNG path)
  UiFocus,         // the player moved to a menu item or dialog control; text is its label
};

enum class MouseButton : uint8_t { Left, Right, Middle };

// Game-controller buttons and axes, in the order of SDL's controller names.
enum class PadButton : uint8_t {
  A, B, X, Y, Back, Guide, Start, LeftStick, RightStick, LeftShoulder, RightShoulder,
  DpadUp, DpadDown, DpadLeft, DpadRight, Count
};
enum class PadAxis : uint8_t { LeftX, LeftY, RightX, RightY, LeftTrigger, RightTrigger, Count };

struct Event {
  EventType type = EventType::None;
  uint32_t time = 0;  // ticks_ms() when it happened
  // Keys: the virtual-key code the input slots use (0..255), and whether the
  // press is a key repeat.
  int32_t key = 0;
  bool repeat = false;
  // Mouse: window pixels (the host converts them to screen pixels).
  int32_t x = 0;
  int32_t y = 0;
  MouseButton button = MouseButton::Left;
  int32_t clicks = 1;  // 2 for the second press of a double click
  int32_t wheel = 0;  // notches, positive away from the player
  PadButton pad_button = PadButton::A;
  PadAxis pad_axis = PadAxis::LeftX;
  int32_t axis_value = 0;  // -32768..32767
  std::string text;        // typed text or a dropped file's path (UTF-8)
};

// ---- window, display modes and menus

struct DisplayMode {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bits_per_pixel = 32;
  int32_t refresh_rate = 0;  // Hz, 0 when unknown
};

// A rectangle of the desktop, in desktop pixels.
struct DesktopArea {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// The main window's size and place before it first shows.
struct WindowRequest {
  int32_t width = 640;   // client area, pixels
  int32_t height = 480;
  std::optional<int32_t> x;  // desktop position; the desktop places it when absent
  std::optional<int32_t> y;
};

enum class ScreenMode {
  Windowed,             // the picture 1:1 in a window of its size
  FullScreenDesktop,    // a borderless window over the whole desktop at its mode
  FullScreenExclusive,  // the display switched to display_mode
};

// How a full screen shows a picture of another size (a window shows it 1:1).
enum class Scaling {
  Centred,  // 1:1 in the middle
  Fit,      // as large as fits with the aspect kept, in steps of 1/50
  Integer,  // the largest whole multiple that fits
  Stretch,  // the whole screen
};

struct ScreenRequest {
  ScreenMode mode = ScreenMode::Windowed;
  DisplayMode display_mode;  // FullScreenExclusive only
  Scaling scaling = Scaling::Fit;
};

// One entry of the menu bar: a top-level menu or sub-menu (children), an
// item (id) or a separator. Labels are UTF-8; "&" marks the key letter.
struct MenuEntry {
  enum class Kind : uint8_t { Menu, Item, Separator };
  Kind kind = Kind::Item;
  uint32_t id = 0;
  std::string label;
  bool enabled = true;
  bool checked = false;
  std::vector<MenuEntry> children;

  bool operator==(const MenuEntry&) const = default;
};

// ---- presentation

struct FrameRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// A 24-bit frame (blue, green, red per pixel, rows top-down) and the parts
// that changed since the last presentation. The pixels stay owned by the
// caller and are read before present() returns.
struct FrameView {
  const uint8_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;  // bytes per row
  std::span<const FrameRect> changed;
};

// ---- sound output

// Signed 16-bit samples, interleaved by channel.
struct AudioFormat {
  int32_t frequency = 44100;
  int32_t channels = 2;
};

// Pull model: the device asks its source for samples as it needs them.
class AudioSource {
 public:
  virtual ~AudioSource() = default;
  // Fills every sample of out (frames × channels). Called on the backend's
  // audio thread by the SDL backend and on the main thread, from sleep_ms(),
  // by the headless backend; it must not block for long.
  virtual void render(std::span<int16_t> out) = 0;
};

// ---- speech

// Text the engine reads aloud (UTF-8), with the script time it was asked at.
struct Utterance {
  std::string text;
  std::string language;    // a tag such as "ja"; empty: the reader's own
  uint32_t script_time = 0;
  bool interrupt = false;  // silence what is being read, and what waits, first
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
  // Sleeps like sleep_ms() but returns as soon as an event is pending, so an
  // idle engine can wait for the player without waking every millisecond.
  virtual void wait_for_event(uint32_t milliseconds) = 0;
  virtual LocalTime local_time() = 0;

  // Events, oldest first; false when none is pending. The headless backend
  // hands out the events injected or replayed up to the current clock.
  virtual bool poll_event(Event& event) = 0;

  // Hands out replayed input as if it came from the desktop: the event takes
  // the same way as the backend's own events (the UI layer first, then
  // poll_event). Headless: queued by its time on the virtual clock; SDL: at
  // once.
  virtual void inject_event(Event event) = 0;
  // The input replay says whether more of its input is to come. While it is,
  // headless in-window dialogs wait for that input instead of being answered
  // by the policy at once.
  virtual void set_scripted_input(bool more_to_come) = 0;

  // Shows a frame. The SDL backend uploads only the changed rectangles and
  // draws the menu bar and open dialogs over it; the headless backend keeps a
  // copy (and draws the same UI over a second copy when there is any).
  virtual void present(const FrameView& frame) = 0;
  // The picture as the player sees it now, with the menu bar and dialogs
  // over the last presented frame (a window's whole picture, scaled as
  // shown): 24-bit rows, blue, green, red, stride width * 3. False when
  // there is nothing to show yet.
  virtual bool read_presented_frame(std::vector<uint8_t>& pixels, int32_t& width, int32_t& height) = 0;

  // The main window. open_window() shows it (once); until then present()
  // opens it at the frame's size.
  virtual void open_window(const WindowRequest& request) = 0;
  // Full-screen display modes of the window's display (largest first), the
  // desktop's current mode and the area all displays span together.
  virtual std::vector<DisplayMode> display_modes() = 0;
  virtual DisplayMode desktop_mode() = 0;
  virtual DesktopArea desktop_area() = 0;
  // Switches between windowed and full-screen presentation; false when the
  // display refused (the window then stays as it was).
  virtual bool set_screen_mode(const ScreenRequest& request) = 0;
  virtual void set_topmost(bool topmost) = 0;
  // The window's position on the desktop, when it has one.
  virtual std::optional<DesktopArea> window_area() = 0;
  // Brings the window to the front (before a message box).
  virtual void raise_window() = 0;
  // Replaces the menu bar's contents. The bar shows while the pointer is at
  // the window's top edge or after F10 or a lone Alt; chosen items come back
  // as MenuCommand events.
  virtual void set_menu(std::span<const MenuEntry> menus) = 0;
  // Height of the menu bar while it shows, in window pixels (0 while hidden).
  virtual int32_t menu_bar_height() = 0;

  // Opens the sound output and starts pulling from source, which must
  // outlive close_audio(). Returns the format actually used, or false when
  // there is no device (the engine then runs silently).
  virtual bool open_audio(const AudioFormat& wanted, AudioSource& source, AudioFormat& obtained) = 0;
  virtual void close_audio() = 0;

  // Modal message box. A real window draws it in the window, with its own
  // event loop until the player answers (a native box only before the
  // window exists); headless backends answer by policy and never block.
  virtual Answer show_message_box(const MessageBoxRequest& request) = 0;
  // While a modal box waits in a window, watch is called each turn with no
  // event (the engine queues the replayed input that is due) and with each
  // Screenshot event; the box takes the rest of the input. A watch that
  // returns false ends the box as its last button would (an unattended run
  // whose time is up).
  virtual void set_modal_watch(std::function<bool(const Event*)> /*watch*/) {}

  // Dialogs never block: open one, then poll it (once per slice) until it is
  // no longer Pending; a finished dialog's outcome is given once.
  virtual DialogId open_dialog(const DialogRequest& request) = 0;
  virtual DialogOutcome poll_dialog(DialogId dialog) = 0;

  // The pointer over the window (picture pixels, as events give them). A
  // headless backend has no pointer and ignores these.
  virtual void warp_pointer(int32_t /*x*/, int32_t /*y*/) {}
  virtual void set_pointer_visible(bool /*visible*/) {}
  // Keeps the pointer inside the window while a button is held (drags).
  virtual void confine_pointer(bool /*confine*/) {}
  // Game-controller mappings in SDL's text form (gamecontrollerdb.txt), read
  // from the file when it exists; pads already open are matched again.
  virtual void add_pad_mappings(const std::string& /*file_path*/) {}

  // Window caption (UTF-8); a headless backend only remembers it.
  virtual void set_caption(std::string_view caption) = 0;

  virtual void set_clipboard_text(std::string_view text) = 0;

  // Reading aloud (text/reading.h). The SDL backend speaks through
  // speech-dispatcher; the headless one hands what it is given to its speech
  // sink (--speech-out). A backend without speech ignores both.
  virtual void speak(const Utterance& /*utterance*/) {}
  virtual void stop_speaking(uint32_t /*script_time*/) {}
  virtual std::string clipboard_text() = 0;

  // Opens a URL or document with the desktop's opener; false when there is
  // none or it refused.
  virtual bool open_with_desktop(std::string_view target) = 0;

  // External programs (the author's editor, the script compiler): starts one
  // without a shell and without waiting; its id, or nullopt when it could
  // not start. The headless backend starts nothing: it records the launch
  // (launches(), and "[launch] ..." on standard error) and reports it ended
  // at once with the status set by set_launch_exit_status (default 0).
  virtual std::optional<int32_t> launch_process(const ProcessLaunch& launch) = 0;
  // Whether a launched program still runs (nullopt) or its exit status (-1
  // when it was killed by a signal or is unknown). A program whose status was
  // reported once is forgotten.
  virtual std::optional<int32_t> process_exit_status(int32_t process) = 0;

  // The debug-mode status bar's text (UTF-8); empty hides the bar.
  virtual void set_status_text(std::string_view /*text*/) {}
};

}  // namespace tavelo::platform
