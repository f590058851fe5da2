// Headless backend: virtual clock, policy-answered boxes and dialogs, queued
// events, frames and sound kept in memory.

#include "platform/headless/headless_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace tavelo::platform {
namespace {

constexpr size_t kKeptPresentTimes = 65536;

std::string_view answer_name(Answer answer) {
  switch (answer) {
    case Answer::Ok: return "OK";
    case Answer::Cancel: return "Cancel";
    case Answer::Yes: return "Yes";
    case Answer::No: return "No";
    case Answer::Retry: return "Retry";
  }
  return "?";
}

std::optional<Answer> parse_answer(std::string_view word) {
  if (word == "ok") return Answer::Ok;
  if (word == "cancel") return Answer::Cancel;
  if (word == "yes") return Answer::Yes;
  if (word == "no") return Answer::No;
  if (word == "retry") return Answer::Retry;
  return std::nullopt;
}

Answer first_button(Buttons buttons) {
  switch (buttons) {
    case Buttons::Ok: return Answer::Ok;
    case Buttons::OkCancel: return Answer::Ok;
    case Buttons::YesNo: return Answer::Yes;
    case Buttons::RetryCancel: return Answer::Retry;
  }
  return Answer::Ok;
}

Answer giving_up_button(Buttons buttons) {
  switch (buttons) {
    case Buttons::Ok: return Answer::Ok;
    case Buttons::OkCancel: return Answer::Cancel;
    case Buttons::YesNo: return Answer::No;
    case Buttons::RetryCancel: return Answer::Cancel;
  }
  return Answer::Cancel;
}

bool button_belongs_to(Answer answer, Buttons buttons) {
  switch (buttons) {
    case Buttons::Ok: return answer == Answer::Ok;
    case Buttons::OkCancel: return answer == Answer::Ok || answer == Answer::Cancel;
    case Buttons::YesNo: return answer == Answer::Yes || answer == Answer::No;
    case Buttons::RetryCancel: return answer == Answer::Retry || answer == Answer::Cancel;
  }
  return false;
}

}  // namespace

std::optional<AnswerPolicy> parse_answer_policy(std::string_view text) {
  AnswerPolicy policy;
  if (text == "continue" || text.empty()) return policy;
  if (text == "cancel") {
    policy.fallback = AnswerPolicy::Fallback::Cancel;
    return policy;
  }
  while (!text.empty()) {
    size_t comma = text.find(',');
    std::string_view word = text.substr(0, comma);
    std::optional<Answer> answer = parse_answer(word);
    if (!answer) return std::nullopt;
    policy.queued.push_back(*answer);
    text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
  }
  return policy;
}

HeadlessPlatform::HeadlessPlatform(AnswerPolicy policy) : m_policy(std::move(policy)) {}

bool HeadlessPlatform::has_capability(Capability) const { return false; }

uint32_t HeadlessPlatform::ticks_ms() {
  run_due_actions();
  return m_clock_ms;
}

void HeadlessPlatform::schedule(uint32_t at_ms, std::function<void()> action) {
  m_schedule.push_back({at_ms, std::move(action)});
}

void HeadlessPlatform::run_due_actions() {
  for (size_t i = 0; i < m_schedule.size();) {
    if (int64_t(m_clock_ms) - int64_t(m_schedule[i].at_ms) >= 0) {
      std::function<void()> action = std::move(m_schedule[i].action);
      m_schedule.erase(m_schedule.begin() + long(i));
      action();
    } else {
      ++i;
    }
  }
}

void HeadlessPlatform::sleep_ms(uint32_t milliseconds) { advance_clock(milliseconds); }

void HeadlessPlatform::advance_clock(uint32_t milliseconds) {
  m_clock_ms += milliseconds;
  pull_audio();
}

void HeadlessPlatform::set_clock(uint32_t milliseconds) {
  // A jump of the clock (a test of clock wrapping) is no time the sound
  // device lived through: it pulls nothing for it.
  m_audio_opened_at += milliseconds - m_clock_ms;
  m_clock_ms = milliseconds;
  pull_audio();
}

void HeadlessPlatform::inject_event(Event event) {
  auto later = std::upper_bound(m_events.begin(), m_events.end(), event.time, [](uint32_t time, const Event& queued) {
    return int64_t(time) - int64_t(queued.time) < 0;
  });
  m_events.insert(later, std::move(event));
}

bool HeadlessPlatform::poll_event(Event& event) {
  run_due_actions();
  if (m_events.empty() || int64_t(m_events.front().time) - int64_t(m_clock_ms) > 0) return false;
  event = std::move(m_events.front());
  m_events.erase(m_events.begin());
  return true;
}

void HeadlessPlatform::present(const FrameView& frame) {
  if (frame.width <= 0 || frame.height <= 0 || !frame.pixels) return;
  size_t row_bytes = size_t(frame.width) * 3;
  bool same_size = frame.width == m_frame_width && frame.height == m_frame_height;
  m_frame_width = frame.width;
  m_frame_height = frame.height;
  m_frame.resize(row_bytes * size_t(frame.height));
  auto copy = [&](const FrameRect& rect) {
    for (int32_t y = rect.y; y < rect.y + rect.height; ++y) {
      std::memcpy(m_frame.data() + size_t(y) * row_bytes + size_t(rect.x) * 3,
                  frame.pixels + size_t(y) * size_t(frame.stride) + size_t(rect.x) * 3, size_t(rect.width) * 3);
    }
  };
  // Like a window, the kept frame takes only what changed; a new size takes
  // everything. Rectangles are cut to the frame first.
  if (!same_size) {
    copy({0, 0, frame.width, frame.height});
  } else {
    for (FrameRect rect : frame.changed) {
      int32_t right = std::min(rect.x + rect.width, frame.width), bottom = std::min(rect.y + rect.height, frame.height);
      rect.x = std::max(rect.x, 0);
      rect.y = std::max(rect.y, 0);
      rect.width = right - rect.x;
      rect.height = bottom - rect.y;
      if (rect.width > 0 && rect.height > 0) copy(rect);
    }
  }
  ++m_frames_presented;
  // A long automated run keeps the recent times only.
  if (m_present_times.size() >= kKeptPresentTimes) {
    m_present_times.erase(m_present_times.begin(), m_present_times.begin() + kKeptPresentTimes / 2);
  }
  m_present_times.push_back(m_clock_ms);
}

bool HeadlessPlatform::open_audio(const AudioFormat& wanted, AudioSource& source, AudioFormat& obtained) {
  m_audio_source = &source;
  m_audio_format = wanted;
  m_audio_opened_at = m_clock_ms;
  m_audio_frames = 0;
  obtained = wanted;
  return true;
}

void HeadlessPlatform::close_audio() {
  pull_audio();
  m_audio_source = nullptr;
}

// Pulls the frames the virtual clock has reached since the device opened, so
// a run produces the same samples whatever the host machine's speed.
void HeadlessPlatform::pull_audio() {
  if (!m_audio_source) return;
  uint64_t elapsed_ms = uint32_t(m_clock_ms - m_audio_opened_at);
  uint64_t due = elapsed_ms * uint64_t(m_audio_format.frequency) / 1000;
  constexpr uint64_t kFramesPerPull = 1024;
  while (m_audio_frames < due) {
    uint64_t frames = std::min(due - m_audio_frames, kFramesPerPull);
    m_audio_buffer.assign(size_t(frames) * size_t(m_audio_format.channels), 0);
    m_audio_source->render(m_audio_buffer);
    if (m_audio_sink) m_audio_sink(m_audio_buffer);
    m_audio_frames += frames;
  }
}

LocalTime HeadlessPlatform::local_time() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

Answer HeadlessPlatform::show_message_box(const MessageBoxRequest& request) {
  bool repeated = !m_boxes.empty() && m_boxes.back().caption == request.caption &&
                  m_boxes.back().text == request.text;
  m_repeat_count = repeated ? m_repeat_count + 1 : 1;

  Answer answer = first_button(request.buttons);
  if (!m_policy.queued.empty()) {
    Answer queued = m_policy.queued.front();
    m_policy.queued.pop_front();
    answer = button_belongs_to(queued, request.buttons) ? queued : giving_up_button(request.buttons);
  } else if (m_policy.fallback == AnswerPolicy::Fallback::Cancel || m_repeat_count > 3) {
    answer = giving_up_button(request.buttons);
  }

  if (m_echo) {
    std::fprintf(stderr, "[message box] %.*s: %.*s -> %.*s\n", int(request.caption.size()),
                 request.caption.data(), int(request.text.size()), request.text.data(),
                 int(answer_name(answer).size()), answer_name(answer).data());
  }
  m_boxes.push_back({std::string(request.caption), std::string(request.text), request.buttons,
                     request.icon, answer});
  return answer;
}

// Dialogs answer at once: a queued Cancel or No cancels, any other queued
// answer (or none) accepts the default text or the proposed path.
DialogId HeadlessPlatform::open_dialog(const DialogRequest& request) {
  DialogOutcome outcome{DialogStatus::Accepted, request.text};
  if (!m_policy.queued.empty()) {
    Answer queued = m_policy.queued.front();
    m_policy.queued.pop_front();
    if (queued == Answer::Cancel || queued == Answer::No) outcome = {DialogStatus::Cancelled, {}};
  }
  if (m_echo) {
    std::fprintf(stderr, "[dialog] %s: %s -> %s\n", request.title.c_str(), request.text.c_str(),
                 outcome.status == DialogStatus::Accepted ? "OK" : "Cancel");
  }
  DialogId id = m_next_dialog++;
  if (m_next_dialog == 0) m_next_dialog = 1;
  m_dialogs.push_back({id, std::move(outcome)});
  return id;
}

DialogOutcome HeadlessPlatform::poll_dialog(DialogId dialog) {
  auto it = std::find_if(m_dialogs.begin(), m_dialogs.end(), [&](const OpenDialog& open) { return open.id == dialog; });
  if (it == m_dialogs.end()) return {DialogStatus::Failed, {}};
  DialogOutcome outcome = std::move(it->outcome);
  m_dialogs.erase(it);
  return outcome;
}

void HeadlessPlatform::set_caption(std::string_view caption) { m_caption = caption; }

void HeadlessPlatform::set_clipboard_text(std::string_view text) { m_clipboard = text; }

std::string HeadlessPlatform::clipboard_text() { return m_clipboard; }

bool HeadlessPlatform::open_with_desktop(std::string_view target) {
  m_opened.emplace_back(target);
  return false;
}

}  // namespace tavelo::platform
