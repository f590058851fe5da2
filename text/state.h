#pragma once
// State of the text subsystem: the glyph renderer with the open glyph cache,
// the script threads' font stacks, the message window, the text history, the
// script events the window has queued, and the hook through which the window
// announces voices (the host connects it to the audio channels).

#include <vector>

#include "text/font_stack.h"
#include "text/history.h"
#include "text/message_window.h"
#include "text/reading.h"
#include "text/renderer.h"

namespace tavelo::host {
struct Engine;
}

namespace tavelo::text {

// Plays a voice the window announced (console command `v`); true when one
// plays now. Without a hook voices are only recorded.
using VoiceHook = bool (*)(host::Engine& engine, const VoiceAnnouncement& voice);
// Whether a voice of the game plays now (a page is not read aloud over it).
using VoicePlaying = bool (*)(host::Engine& engine);

struct State {
  Renderer renderer;  // fonts, line buffer and the open glyph cache
  FontStacks fonts;
  MessageState message;
  History history;
  Reading reading;  // pages read aloud and sent out
  std::vector<ScriptEvent> events;  // raised by raise_queued_events
  VoiceHook play_voice = nullptr;
  VoicePlaying voice_playing = nullptr;
};

}  // namespace tavelo::text
