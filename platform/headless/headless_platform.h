#pragma once
// The headless backend: no window, no sound device. Time is virtual (every
// sleep advances it at once), message boxes are written to standard error and
// answered by a policy, the clipboard is a string. Tests and automation use it;
// it must never block.

#include <cstdint>
#include <deque>
#include <functional>
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
  Answer show_message_box(const MessageBoxRequest& request) override;
  void pump_events() override {}
  void set_caption(std::string_view caption) override;
  void set_clipboard_text(std::string_view text) override;
  std::string clipboard_text() override;
  bool open_with_desktop(std::string_view target) override;

  // Test controls.
  void advance_clock(uint32_t milliseconds) { m_clock_ms += milliseconds; }
  void set_clock(uint32_t milliseconds) { m_clock_ms = milliseconds; }
  void queue_answer(Answer answer) { m_policy.queued.push_back(answer); }
  void set_echo_to_stderr(bool echo) { m_echo = echo; }
  // Runs action once the virtual clock reaches at_ms (checked on every
  // clock read), so tests can script input at given moments.
  void schedule(uint32_t at_ms, std::function<void()> action);
  const std::vector<RecordedBox>& boxes() const { return m_boxes; }
  const std::string& caption() const { return m_caption; }
  const std::vector<std::string>& opened_targets() const { return m_opened; }

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
  bool m_echo = true;
};

}  // namespace tavelo::platform
