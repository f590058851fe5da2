// Pages for readers: read aloud, to the clipboard, to text-hooking pages.

#include "text/reading.h"

#include <algorithm>
#include <cstdio>

#include "platform/page_server.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"
#include "resources/settings.h"
#include "script/scheduler.h"
#include "script/state.h"
#include "text/state.h"

namespace tavelo::text {
namespace {

using resources::UserSetting;

// The server listens here and nowhere else.
constexpr std::string_view kLoopback = "127.0.0.1";

bool setting_on(resources::State& resources, UserSetting setting) {
  return resources::read_user_setting(resources, setting) != 0;
}

// Japanese text is read with a Japanese voice; anything else in the
// reader's own language (a translated game's).
std::string language_of(std::string_view utf8) {
  TextCodec codec;
  codec.unicode = true;
  for (size_t i = 0; i < utf8.size();) {
    const uint8_t lead = uint8_t(utf8[i]);
    const size_t length = std::min<size_t>(lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4, utf8.size() - i);
    if (in_japanese_run(codec, utf8.substr(i, length))) return "ja";
    i += length;
  }
  return {};
}

void say_utf8(script::Machine& machine, std::string utf8, bool interrupt) {
  platform::Utterance utterance;
  utterance.language = language_of(utf8);
  utterance.text = std::move(utf8);
  utterance.script_time = script::script_time(machine);
  utterance.interrupt = interrupt;
  machine.platform.speak(utterance);
}

void say(script::Machine& machine, std::string_view game_text, bool interrupt) {
  say_utf8(machine, machine.encoding.to_utf8_lossy(game_text), interrupt);
}

void start_or_stop_server(Reading& reading) {
  if (!reading.modes.to_socket) {
    reading.server.reset();
    reading.server_port = 0;
    return;
  }
  if (reading.server && reading.server_port == reading.modes.socket_port) return;
  reading.server.reset();
  platform::PageServer::Start start = platform::PageServer::start(kLoopback, reading.modes.socket_port);
  reading.server = std::move(start.server);
  reading.server_port = reading.server ? reading.modes.socket_port : 0;
  if (!reading.server) std::fprintf(stderr, "tavelo: %s\n", start.problem.c_str());
}

bool blank(std::string_view text) {
  return text.find_first_not_of(" \n") == std::string_view::npos;
}

}  // namespace

Reading::Reading() = default;
Reading::~Reading() = default;
Reading::Reading(Reading&&) noexcept = default;
Reading& Reading::operator=(Reading&&) noexcept = default;

void refresh_text_modes(State& text, resources::State& resources) {
  TextModes& modes = text.reading.modes;
  modes.read_aloud = setting_on(resources, UserSetting::ReadAloud);
  modes.to_clipboard = setting_on(resources, UserSetting::TextToClipboard);
  modes.to_socket = setting_on(resources, UserSetting::TextToSocket);
  modes.socket_port = uint16_t(resources::read_user_setting(resources, UserSetting::TextSocketPort));
  set_text_layout(text.renderer,
                  setting_on(resources, UserSetting::TextLayout) ? TextLayout::Alphabetic : TextLayout::Cells);
  start_or_stop_server(text.reading);
}

void toggle_read_aloud(State& text, script::Machine& machine) {
  TextModes& modes = text.reading.modes;
  modes.read_aloud = !modes.read_aloud;
  (void)resources::write_user_setting(machine.resources, UserSetting::ReadAloud, modes.read_aloud ? 1 : 0);
  say_utf8(machine, modes.read_aloud ? "読み上げ、オン" : "読み上げ、オフ", true);
}

void note_speaker(State& text, std::string_view name) { text.reading.page.speaker = name; }

void note_text(State& text, std::string_view game_text) { text.reading.page.text += game_text; }

void note_line_break(State& text) {
  std::string& page = text.reading.page.text;
  if (!page.empty()) page += '\n';
}

void note_voice(State& text, script::Machine& machine) {
  // The game's own voice goes first: the reader falls silent.
  if (text.reading.modes.read_aloud) machine.platform.stop_speaking(script::script_time(machine));
}

std::string page_message(const PageText& page, script::Machine& machine) {
  std::string text = page.text;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return machine.encoding.to_utf8_lossy(page.speaker + text);
}

void finish_page(State& text, script::Machine& machine) {
  Reading& reading = text.reading;
  PageText page = std::move(reading.page);
  reading.page = PageText{};
  if (blank(page.text) && page.speaker.empty()) return;
  const bool replaying = text.message.replay != ReplayMode::Off;
  const bool voice_plays = text.voice_playing && text.voice_playing(machine.engine);
  if (reading.modes.read_aloud && !voice_plays) {
    // A new page silences the one before; the speaker comes first.
    bool interrupt = true;
    if (!page.speaker.empty()) {
      say(machine, page.speaker, interrupt);
      interrupt = false;
    }
    if (!blank(page.text)) say(machine, page.text, interrupt);
  }
  // A replayed history page was sent when it was new.
  if (replaying || (!reading.modes.to_clipboard && !reading.server)) return;
  const std::string message = page_message(page, machine);
  if (reading.modes.to_clipboard) machine.platform.set_clipboard_text(message);
  if (reading.server) reading.server->send(message);
}

void speak_focus(State& text, script::Machine& machine, std::string_view label) {
  if (!text.reading.modes.read_aloud || label.empty()) return;
  say_utf8(machine, std::string(label), true);
}

}  // namespace tavelo::text
