#pragma once
// The headless backend: no window, no sound device. Time is virtual (every
// sleep advances it at once), message boxes and dialogs are written to
// standard error and answered by a policy, events come from a queue that
// tests and the input replay fill, presented frames are kept in memory, and
// sound is pulled from its source as the virtual clock advances (into a sink
// that may write it to a file). Tests and automation use it; it never blocks.

#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tavelo::platform {

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

  bool has_capability(Capability capability) const override;
  uint32_t ticks_ms() override;
  void sleep_ms(uint32_t milliseconds) override;
  LocalTime local_time() override;
  bool poll_event(Event& event) override;
  void present(const FrameView& frame) override;
  bool open_audio(const AudioFormat& wanted, AudioSource& source, AudioFormat& obtained) override;
  void close_audio() override;
  Answer show_message_box(const MessageBoxRequest& request) override;
  DialogId open_dialog(const DialogRequest& request) override;
  DialogOutcome poll_dialog(DialogId dialog) override;
  void set_caption(std::string_view caption) override;
  void set_clipboard_text(std::string_view text) override;
  std::string clipboard_text() override;
  bool open_with_desktop(std::string_view target) override;

  // Test and replay controls.
  void advance_clock(uint32_t milliseconds);
  // Jumps the clock; the sound device pulls nothing for the jump.
  void set_clock(uint32_t milliseconds);
  // Queues an event; poll_event hands it out once the clock reaches its
  // time. Events with equal times keep their order.
  void inject_event(Event event);
  void queue_answer(Answer answer) { m_policy.queued.push_back(answer); }
  void set_echo_to_stderr(bool echo) { m_echo = echo; }
  // Runs action once the virtual clock reaches at_ms (checked on every
  // clock read), so tests can script input at given moments.
  void schedule(uint32_t at_ms, std::function<void()> action);
  const std::vector<RecordedBox>& boxes() const { return m_boxes; }
  const std::string& caption() const { return m_caption; }
  const std::vector<std::string>& opened_targets() const { return m_opened; }

  // The last presented frame (24-bit rows, stride width * 3) and how many
  // frames were presented.
  const std::vector<uint8_t>& frame_pixels() const { return m_frame; }
  int32_t frame_width() const { return m_frame_width; }
  int32_t frame_height() const { return m_frame_height; }
  uint64_t frames_presented() const { return m_frames_presented; }
  // The virtual clock at each presentation, oldest first.
  const std::vector<uint32_t>& present_times() const { return m_present_times; }

  // Where pulled sound goes (for --audio-out); without a sink it is only
  // counted. Samples are interleaved in the obtained format.
  void set_audio_sink(std::function<void(std::span<const int16_t>)> sink) { m_audio_sink = std::move(sink); }
  uint64_t audio_frames_pulled() const { return m_audio_frames; }

 private:
  AnswerPolicy m_policy;
  // The virtual clock starts away from 0 because the engine treats a timer
  // reading of 0 specially.
  uint32_t m_clock_ms = 1000;
  std::vector<RecordedBox> m_boxes;
  std::string m_caption;
  std::string m_clipboard;
  std::vector<std::string> m_opened;
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
  std::vector<int16_t> m_audio_buffer;

  struct OpenDialog {
    DialogId id;
    DialogOutcome outcome;
  };
  std::vector<OpenDialog> m_dialogs;
  DialogId m_next_dialog = 1;
};

}  // namespace tavelo::platform
