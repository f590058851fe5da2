// Headless backend: virtual clock, policy-answered message boxes.

#include "platform/headless/headless_platform.h"

#include <cstdio>
#include <ctime>

namespace tavelo::platform {
namespace {

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

void HeadlessPlatform::sleep_ms(uint32_t milliseconds) { m_clock_ms += milliseconds; }

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

void HeadlessPlatform::set_caption(std::string_view caption) { m_caption = caption; }

void HeadlessPlatform::set_clipboard_text(std::string_view text) { m_clipboard = text; }

std::string HeadlessPlatform::clipboard_text() { return m_clipboard; }

bool HeadlessPlatform::open_with_desktop(std::string_view target) {
  m_opened.emplace_back(target);
  return false;
}

}  // namespace tavelo::platform
