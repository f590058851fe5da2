#pragma once
// What the player reads, page by page, for readers who need more than the
// screen: the page being shown (its speaker and its text, as laid out), and
// where a finished page goes when the player asked for it: read aloud
// through the platform's speech (speaker first; a page finished while the
// game's voice plays is left to the voice, and a voice that starts silences
// the reader),
// copied to the clipboard, and sent to the clients of a WebSocket server on
// 127.0.0.1 (text-hooking pages for learners). A page is finished at the
// page wait (`p`) or when it is cleared (`w`); replayed history pages are
// read aloud but not sent again. Dialog and menu items the player moves to
// are read aloud too (speak_focus).
//
// The modes are the player's settings (ReadAloud, TextToClipboard,
// TextToSocket, TextSocketPort), read again at every page clear and when
// Alt+R toggles reading aloud; all are off by default, and while they are
// off nothing here touches the platform.
//
// Callers: the message window (text/layout.cpp, message_window.cpp) feeds
// the page; the host toggles the mode from its key and passes focused labels.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tavelo::platform {
class PageServer;
}
namespace tavelo::resources {
struct State;
}
namespace tavelo::script {
struct Machine;
}

namespace tavelo::text {

struct State;

struct TextModes {
  bool read_aloud = false;
  bool to_clipboard = false;
  bool to_socket = false;
  uint16_t socket_port = 6677;
};

// The page being shown, in the game code page.
struct PageText {
  std::string speaker;
  std::string text;
};

struct Reading {
  TextModes modes;
  PageText page;
  std::unique_ptr<platform::PageServer> server;  // while to_socket is on and the port could be bound
  uint16_t server_port = 0;
  Reading();
  ~Reading();
  Reading(Reading&&) noexcept;
  Reading& operator=(Reading&&) noexcept;
};

// Reads the modes (and the layout) from the settings and starts or stops
// the server to match.
void refresh_text_modes(State& text, resources::State& resources);

// Alt+R: switches reading aloud, stores it and says so.
void toggle_read_aloud(State& text, script::Machine& machine);

// The message window's feed.
void note_speaker(State& text, std::string_view name);
void note_text(State& text, std::string_view game_text);
void note_line_break(State& text);
// A voice of the game started.
void note_voice(State& text, script::Machine& machine);
// The page wait (`p`) and the page clear (`w`): a page with text is finished.
void finish_page(State& text, script::Machine& machine);

// A dialog or menu item the player moved to (UTF-8), read aloud when the mode is on.
void speak_focus(State& text, script::Machine& machine, std::string_view label);

// The page as one plain text (UTF-8): the speaker followed by the text, the
// way the script wrote them.
std::string page_message(const PageText& page, script::Machine& machine);

}  // namespace tavelo::text
