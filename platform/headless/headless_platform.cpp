// Headless backend: virtual clock, policy-answered boxes and dialogs, queued
// events, frames and sound kept in memory.

#include "platform/headless/headless_platform.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/ui/file_chooser.h"
#include "platform/ui/ui_layer.h"

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

// A desktop of 1920 × 1080 with the modes such a display lists, largest first.
HeadlessPlatform::HeadlessPlatform(AnswerPolicy policy)
    : m_policy(std::move(policy)), m_ui(std::make_unique<UiLayer>()) {
  m_desktop_mode = {1920, 1080, 32, 60};
  for (auto [width, height] : {std::pair{1920, 1080}, {1680, 1050}, {1600, 900}, {1280, 1024}, {1280, 960},
                               {1280, 800}, {1280, 720}, {1024, 768}, {800, 600}, {640, 480}}) {
    m_display_modes.push_back({width, height, 32, 60});
  }
}

HeadlessPlatform::~HeadlessPlatform() {
  m_ui->release_renderer();
  if (m_ui_renderer) SDL_DestroyRenderer(m_ui_renderer);
  if (m_ui_surface) SDL_FreeSurface(m_ui_surface);
}

void HeadlessPlatform::set_display_modes(std::vector<DisplayMode> modes, DisplayMode desktop) {
  m_display_modes = std::move(modes);
  m_desktop_mode = desktop;
}

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

void HeadlessPlatform::set_scripted_input(bool more_to_come) {
  m_scripted_input = more_to_come;
  if (more_to_come) return;
  // The replay is over: whatever still waits for the player is answered by
  // the policy, so the run goes on.
  for (DialogId dialog : m_ui->pending_panels()) {
    DialogStatus status = DialogStatus::Accepted;
    if (!m_policy.queued.empty()) {
      Answer queued = m_policy.queued.front();
      m_policy.queued.pop_front();
      if (queued == Answer::Cancel || queued == Answer::No) status = DialogStatus::Cancelled;
    }
    m_ui->finish_panel(dialog, status);
  }
}

bool HeadlessPlatform::poll_event(Event& event) {
  run_due_actions();
  for (;;) {
    if (!m_ui_reports.empty()) {
      event = std::move(m_ui_reports.front());
      m_ui_reports.erase(m_ui_reports.begin());
      event.time = m_clock_ms;
      return true;
    }
    if (m_events.empty() || int64_t(m_events.front().time) - int64_t(m_clock_ms) > 0) break;
    event = std::move(m_events.front());
    m_events.erase(m_events.begin());
    if (!m_ui->take_event(event)) return true;
  }
  compose_ui(false);
  if (m_ui_reports.empty()) return false;
  return poll_event(event);
}

// Runs a UI frame when one is due: the frame is copied into a 32-bit surface,
// the UI drawn over it with the software renderer, and the result kept as the
// presented picture.
void HeadlessPlatform::compose_ui(bool force) {
  if (!m_ui->needs_frame() && !(force && m_ui->visible())) return;
  if (!m_ui->visible()) {
    m_ui->skip_frame();
    m_composite_valid = false;
    return;
  }
  int32_t width = m_frame_width > 0 ? m_frame_width : (m_window ? m_window->width : 640);
  int32_t height = m_frame_height > 0 ? m_frame_height : (m_window ? m_window->height : 480);
  if (!m_ui_surface || m_ui_surface->w != width || m_ui_surface->h != height) {
    m_ui->release_renderer();
    if (m_ui_renderer) SDL_DestroyRenderer(m_ui_renderer);
    if (m_ui_surface) SDL_FreeSurface(m_ui_surface);
    m_ui_renderer = nullptr;
    m_ui_surface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_XRGB8888);
    if (m_ui_surface) m_ui_renderer = SDL_CreateSoftwareRenderer(m_ui_surface);
    if (!m_ui_renderer) {
      m_ui->skip_frame();
      return;
    }
  }
  auto* surface_pixels = static_cast<uint8_t*>(m_ui_surface->pixels);
  for (int32_t y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(surface_pixels + size_t(y) * size_t(m_ui_surface->pitch));
    for (int32_t x = 0; x < width; ++x) {
      uint32_t pixel = 0;
      if (y < m_frame_height && x < m_frame_width) {
        const uint8_t* bgr = m_frame.data() + (size_t(y) * size_t(m_frame_width) + size_t(x)) * 3;
        pixel = uint32_t(bgr[0]) | uint32_t(bgr[1]) << 8 | uint32_t(bgr[2]) << 16;
      }
      row[x] = pixel;
    }
  }
  std::vector<Event> reports;
  m_ui->draw(m_ui_renderer, width, height, 1.0f, m_clock_ms, reports);
  SDL_RenderFlush(m_ui_renderer);
  m_ui_reports.insert(m_ui_reports.end(), reports.begin(), reports.end());
  m_composite.resize(size_t(width) * size_t(height) * 3);
  for (int32_t y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(surface_pixels + size_t(y) * size_t(m_ui_surface->pitch));
    uint8_t* out = m_composite.data() + size_t(y) * size_t(width) * 3;
    for (int32_t x = 0; x < width; ++x) {
      out[x * 3] = uint8_t(row[x]);
      out[x * 3 + 1] = uint8_t(row[x] >> 8);
      out[x * 3 + 2] = uint8_t(row[x] >> 16);
    }
  }
  m_composite_valid = true;
  m_composite_width = width;
  m_composite_height = height;
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
  // The UI is drawn again over the new picture.
  compose_ui(true);
}

bool HeadlessPlatform::read_presented_frame(std::vector<uint8_t>& pixels, int32_t& width, int32_t& height) {
  if (m_ui->visible() && m_composite_valid) {
    pixels = m_composite;
    width = m_composite_width;
    height = m_composite_height;
    return true;
  }
  if (m_frame_width <= 0) return false;
  pixels = m_frame;
  width = m_frame_width;
  height = m_frame_height;
  return true;
}

void HeadlessPlatform::open_window(const WindowRequest& request) {
  if (!m_window) m_window = request;
}

bool HeadlessPlatform::set_screen_mode(const ScreenRequest& request) {
  if (request.mode == ScreenMode::FullScreenExclusive) {
    const DisplayMode& wanted = request.display_mode;
    bool listed = std::any_of(m_display_modes.begin(), m_display_modes.end(), [&](const DisplayMode& mode) {
      return mode.width == wanted.width && mode.height == wanted.height &&
             mode.bits_per_pixel == wanted.bits_per_pixel &&
             (wanted.refresh_rate == 0 || mode.refresh_rate == wanted.refresh_rate);
    });
    if (!listed) return false;
  }
  m_screen = request;
  return true;
}

// A window the desktop places goes to the middle of the desktop.
std::optional<DesktopArea> HeadlessPlatform::window_area() {
  if (!m_window) return std::nullopt;
  int32_t x = m_window->x.value_or((m_desktop_mode.width - m_window->width) / 2);
  int32_t y = m_window->y.value_or((m_desktop_mode.height - m_window->height) / 2);
  return DesktopArea{x, y, m_window->width, m_window->height};
}

void HeadlessPlatform::set_menu(std::span<const MenuEntry> menus) {
  m_menus.assign(menus.begin(), menus.end());
  m_ui->set_menu(menus);
}

int32_t HeadlessPlatform::menu_bar_height() { return m_ui->bar_height(); }

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

// The calendar runs on the virtual clock from a fixed start, so that what a
// game takes from the date (the random seed, the debug log's stamps, dates
// shown or saved) is the same in every run with the same input.
LocalTime HeadlessPlatform::local_time() {
  constexpr std::time_t kCalendarStart = 946684800;  // 2000-01-01 00:00:00 UTC
  std::time_t now = kCalendarStart + std::time_t(m_clock_ms / 1000);
  std::tm parts{};
  gmtime_r(&now, &parts);
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

Answer HeadlessPlatform::show_message_box(const MessageBoxRequest& request) {
  // A box that keeps coming back, in a row or taking turns with others (two
  // errors that cause each other), is given up: more than 3 times among the
  // last 8 boxes.
  constexpr size_t kRecentBoxes = 8;
  size_t first_recent = m_boxes.size() > kRecentBoxes - 1 ? m_boxes.size() - (kRecentBoxes - 1) : 0;
  m_repeat_count = 1 + int(std::count_if(m_boxes.begin() + long(first_recent), m_boxes.end(), [&](const RecordedBox& box) {
                     return box.caption == request.caption && box.text == request.text;
                   }));

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
// answer (or none) accepts the default text or the proposed path, or the
// text a test queued for it. In-window dialogs, and file dialogs as the
// window's file chooser, wait for the player while replayed input is still
// to come.
DialogId HeadlessPlatform::open_dialog(const DialogRequest& request) {
  const bool file_dialog = request.kind == DialogKind::SaveFile || request.kind == DialogKind::OpenFile;
  if (m_scripted_input && ((request.kind == DialogKind::Panel && request.content) || file_dialog)) {
    DialogId id = m_next_dialog++;
    if (m_next_dialog == 0) m_next_dialog = 1;
    std::shared_ptr<DialogContent> content = request.content;
    if (file_dialog) {
      auto chooser = std::make_shared<FileChooser>(request);
      m_choosers.push_back({id, chooser, request.text});
      content = std::move(chooser);
    }
    if (m_echo) std::fprintf(stderr, "[dialog] %s: waiting for input\n", content->title().c_str());
    m_ui->open_panel(id, std::move(content));
    return id;
  }
  DialogOutcome outcome{DialogStatus::Accepted, request.text};
  if (!m_policy.queued.empty()) {
    Answer queued = m_policy.queued.front();
    m_policy.queued.pop_front();
    if (queued == Answer::Cancel || queued == Answer::No) outcome = {DialogStatus::Cancelled, {}};
  }
  if (outcome.status == DialogStatus::Accepted && request.kind != DialogKind::Panel && !m_dialog_texts.empty()) {
    outcome.text = std::move(m_dialog_texts.front());
    m_dialog_texts.pop_front();
  }
  if (m_echo) {
    std::string title = request.content ? request.content->title() : request.title;
    std::fprintf(stderr, "[dialog] %s: %s -> %s\n", title.c_str(), request.text.c_str(),
                 outcome.status == DialogStatus::Accepted ? "OK" : "Cancel");
  }
  DialogId id = m_next_dialog++;
  if (m_next_dialog == 0) m_next_dialog = 1;
  m_dialogs.push_back({id, std::move(outcome)});
  return id;
}

DialogOutcome HeadlessPlatform::poll_dialog(DialogId dialog) {
  auto it = std::find_if(m_dialogs.begin(), m_dialogs.end(), [&](const OpenDialog& open) { return open.id == dialog; });
  if (it != m_dialogs.end()) {
    DialogOutcome outcome = std::move(it->outcome);
    m_dialogs.erase(it);
    return outcome;
  }
  DialogOutcome outcome = m_ui->poll_panel(dialog);
  auto chooser = std::find_if(m_choosers.begin(), m_choosers.end(), [&](const OpenChooser& open) { return open.id == dialog; });
  if (outcome.status == DialogStatus::Pending || chooser == m_choosers.end()) return outcome;
  if (outcome.status == DialogStatus::Accepted) {
    // The chooser's choice; a dialog the policy accepted after the input ran
    // out takes what an answered dialog takes (a queued text, or the proposal).
    outcome.text = chooser->chooser->chosen_path();
    if (outcome.text.empty() && !m_dialog_texts.empty()) {
      outcome.text = std::move(m_dialog_texts.front());
      m_dialog_texts.pop_front();
    } else if (outcome.text.empty()) {
      outcome.text = chooser->proposal;
    }
  }
  m_choosers.erase(chooser);
  return outcome;
}

void HeadlessPlatform::set_caption(std::string_view caption) {
  m_caption = caption;
  m_captions.emplace_back(caption);
}

void HeadlessPlatform::set_clipboard_text(std::string_view text) { m_clipboard = text; }

std::string HeadlessPlatform::clipboard_text() { return m_clipboard; }

void HeadlessPlatform::speak(const Utterance& utterance) {
  if (m_speech_sink) m_speech_sink(utterance);
}

void HeadlessPlatform::stop_speaking(uint32_t script_time) {
  if (m_speech_sink) m_speech_sink({{}, {}, script_time, true});
}

bool HeadlessPlatform::open_with_desktop(std::string_view target) {
  m_opened.emplace_back(target);
  return false;
}

// Nothing is started: a test run must not open the author's editor or run a
// compiler. The launch is recorded (ids count from 1) and ends at once.
std::optional<int32_t> HeadlessPlatform::launch_process(const ProcessLaunch& launch) {
  if (launch.arguments.empty()) return std::nullopt;
  m_launches.push_back(launch);
  if (m_echo) std::fprintf(stderr, "[launch] %s\n", describe_launch(launch).c_str());
  return int32_t(m_launches.size());
}

std::optional<int32_t> HeadlessPlatform::process_exit_status(int32_t process) {
  if (process < 1 || size_t(process) > m_launches.size()) return -1;
  return m_launch_exit_status;
}

}  // namespace tavelo::platform
