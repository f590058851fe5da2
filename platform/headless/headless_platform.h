#pragma once
// The headless backend: no window, no sound device. Time is virtual (every
// sleep advances it at once), message boxes and dialogs are written to
// standard error and answered by a policy, events come from a queue that
// tests and the input replay fill, presented frames are kept in memory, and
// sound is pulled from its source as the virtual clock advances (into a sink
// that may write it to a file). The menu bar and in-window dialogs are drawn
// as in a window, with SDL's software renderer over a copy of the frame, so
// replayed input drives them and screenshots show them; while replayed input
// is still to come, in-window dialogs and file dialogs (as the window's file
// chooser) wait for it. Tests and automation use
// it; it never blocks.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <span>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

struct SDL_Renderer;
struct SDL_Surface;

namespace tavelo::platform {

class FileChooser;
class UiLayer;

// How headless message boxes are answered: answers queued in order first, then
// the fallback. Fallback Continue picks the button that lets the run go on
// (Retry for error reports, Yes or OK otherwise) and gives up with Cancel (No for
// Yes/No boxes) when the same box repeats more than three times in a row.
struct AnswerPolicy {
  enum class Fallback { Continue, Cancel };
  std::deque<Answer> queued;
  Fallback fallback = Fallback::Continue;
};

// Parses "--answer" values: "continue", "cancel", or a comma-separated list of
// ok|cancel|yes|no|retry answered in order before falling back to continue.
std::optional<AnswerPolicy> parse_answer_policy(std::string_view text);

struct RecordedBox {
  std::string caption;
  std::string text;
  Buttons buttons = Buttons::Ok;
  Icon icon = Icon::None;
  Answer answer = Answer::Ok;
};

class HeadlessPlatform final : public Platform {
 public:
  explicit HeadlessPlatform(AnswerPolicy policy = {});
  ~HeadlessPlatform() override;

  bool has_capability(Capability capability) const override;
  uint32_t ticks_ms() override;
  void sleep_ms(uint32_t milliseconds) override;
  void wait_for_event(uint32_t milliseconds) override { sleep_ms(milliseconds); }
  // 2000-01-01 00:00:00 at clock 0, carried on by the virtual clock.
  LocalTime local_time() override;
  bool poll_event(Event& event) override;
  void inject_event(Event event) override;
  void set_scripted_input(bool more_to_come) override;
  void present(const FrameView& frame) override;
  bool read_presented_frame(std::vector<uint8_t>& pixels, int32_t& width, int32_t& height) override;
  void open_window(const WindowRequest& request) override;
  std::vector<DisplayMode> display_modes() override { return m_display_modes; }
  DisplayMode desktop_mode() override { return m_desktop_mode; }
  DesktopArea desktop_area() override { return {0, 0, m_desktop_mode.width, m_desktop_mode.height}; }
  bool set_screen_mode(const ScreenRequest& request) override;
  void set_topmost(bool topmost) override { m_topmost = topmost; }
  std::optional<DesktopArea> window_area() override;
  void raise_window() override { ++m_raise_count; }
  void set_menu(std::span<const MenuEntry> menus) override;
  int32_t menu_bar_height() override;
  bool open_audio(const AudioFormat& wanted, AudioSource& source, AudioFormat& obtained) override;
  void close_audio() override;
  Answer show_message_box(const MessageBoxRequest& request) override;
  DialogId open_dialog(const DialogRequest& request) override;
  DialogOutcome poll_dialog(DialogId dialog) override;
  void set_caption(std::string_view caption) override;
  void set_clipboard_text(std::string_view text) override;
  std::string clipboard_text() override;
  void speak(const Utterance& utterance) override;
  void stop_speaking(uint32_t script_time) override;
  bool open_with_desktop(std::string_view target) override;
  std::optional<int32_t> launch_process(const ProcessLaunch& launch) override;
  std::optional<int32_t> process_exit_status(int32_t process) override;
  void set_status_text(std::string_view text) override { m_status_text = text; }

  // Test and replay controls.
  void advance_clock(uint32_t milliseconds);
  // Jumps the clock; the sound device pulls nothing for the jump.
  void set_clock(uint32_t milliseconds);
  // inject_event queues an event; poll_event hands it out once the clock
  // reaches its time. Events with equal times keep their order.
  void queue_answer(Answer answer) { m_policy.queued.push_back(answer); }
  // The next accepted text or file dialog gives this text (a typed line, a
  // chosen path) instead of its proposal.
  void queue_dialog_text(std::string text) { m_dialog_texts.push_back(std::move(text)); }
  void set_echo_to_stderr(bool echo) { m_echo = echo; }
  // Runs action once the virtual clock reaches at_ms (checked on every
  // clock read), so tests can script input at given moments.
  void schedule(uint32_t at_ms, std::function<void()> action);
  const std::vector<RecordedBox>& boxes() const { return m_boxes; }
  const std::string& caption() const { return m_caption; }
  // Every caption set, in order (the shutdown shows its steps there).
  const std::vector<std::string>& captions() const { return m_captions; }
  const std::vector<std::string>& opened_targets() const { return m_opened; }
  // Programs the engine asked to start (nothing is started headless).
  const std::vector<ProcessLaunch>& launches() const { return m_launches; }
  // What every recorded launch reports as its exit status.
  void set_launch_exit_status(int32_t status) { m_launch_exit_status = status; }
  const std::string& status_text() const { return m_status_text; }

  // The last presented frame (24-bit rows, stride width * 3) and how many
  // frames were presented.
  const std::vector<uint8_t>& frame_pixels() const { return m_frame; }
  int32_t frame_width() const { return m_frame_width; }
  int32_t frame_height() const { return m_frame_height; }
  uint64_t frames_presented() const { return m_frames_presented; }
  // The virtual clock at each presentation, oldest first.
  const std::vector<uint32_t>& present_times() const { return m_present_times; }

  // The window as the engine set it up.
  const std::optional<WindowRequest>& window() const { return m_window; }
  const ScreenRequest& screen() const { return m_screen; }
  bool topmost() const { return m_topmost; }
  int raise_count() const { return m_raise_count; }
  const std::vector<MenuEntry>& menus() const { return m_menus; }
  // The display the full-screen modes are chosen from (default: a 1920 × 1080
  // desktop with the usual modes).
  void set_display_modes(std::vector<DisplayMode> modes, DisplayMode desktop);

  // Where pulled sound goes (for --audio-out); without a sink it is only
  // counted. Samples are interleaved in the obtained format.
  void set_audio_sink(std::function<void(std::span<const int16_t>)> sink) { m_audio_sink = std::move(sink); }
  uint64_t audio_frames_pulled() const { return m_audio_frames; }

  // Where reading aloud goes (for --speech-out): every utterance, and every
  // stop as an interrupting utterance without text. Without a sink it is
  // dropped.
  void set_speech_sink(std::function<void(const Utterance&)> sink) { m_speech_sink = std::move(sink); }

 private:
  AnswerPolicy m_policy;
  // The virtual clock starts away from 0 because the engine treats a timer
  // reading of 0 specially.
  uint32_t m_clock_ms = 1000;
  std::vector<RecordedBox> m_boxes;
  std::string m_caption;
  std::string m_clipboard;
  std::vector<std::string> m_opened;
  std::vector<ProcessLaunch> m_launches;
  int32_t m_launch_exit_status = 0;
  std::string m_status_text;
  int m_repeat_count = 0;
  struct ScheduledAction {
    uint32_t at_ms;
    std::function<void()> action;
  };
  std::vector<ScheduledAction> m_schedule;
  void run_due_actions();
  void pull_audio();
  bool m_echo = true;

  std::vector<Event> m_events;  // sorted by time, oldest first
  std::vector<Event> m_ui_reports;  // from the UI layer, handed out first
  bool m_scripted_input = false;
  std::vector<std::string> m_captions;

  // The in-window UI, drawn with a software renderer over m_composite.
  void compose_ui(bool force);
  std::unique_ptr<UiLayer> m_ui;
  SDL_Surface* m_ui_surface = nullptr;
  SDL_Renderer* m_ui_renderer = nullptr;
  std::vector<uint8_t> m_composite;
  int32_t m_composite_width = 0;
  int32_t m_composite_height = 0;
  bool m_composite_valid = false;

  std::optional<WindowRequest> m_window;
  ScreenRequest m_screen;
  bool m_topmost = false;
  int m_raise_count = 0;
  std::vector<MenuEntry> m_menus;
  std::vector<DisplayMode> m_display_modes;
  DisplayMode m_desktop_mode;

  std::vector<uint8_t> m_frame;
  int32_t m_frame_width = 0;
  int32_t m_frame_height = 0;
  uint64_t m_frames_presented = 0;
  std::vector<uint32_t> m_present_times;

  AudioSource* m_audio_source = nullptr;
  AudioFormat m_audio_format;
  uint32_t m_audio_opened_at = 0;
  uint64_t m_audio_frames = 0;
  std::function<void(std::span<const int16_t>)> m_audio_sink;
  std::function<void(const Utterance&)> m_speech_sink;
  std::vector<int16_t> m_audio_buffer;

  struct OpenDialog {
    DialogId id;
    DialogOutcome outcome;
  };
  std::vector<OpenDialog> m_dialogs;
  // File dialogs waiting for replayed input, drawn as the window's file
  // chooser; proposal is what the policy accepts when the input runs out.
  struct OpenChooser {
    DialogId id;
    std::shared_ptr<FileChooser> chooser;
    std::string proposal;
  };
  std::vector<OpenChooser> m_choosers;
  std::deque<std::string> m_dialog_texts;
  DialogId m_next_dialog = 1;
};

}  // namespace tavelo::platform
