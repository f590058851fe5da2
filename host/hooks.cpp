// The machine's host hooks.

#include "host/hooks.h"

#include "audio/channels.h"
#include "audio/state.h"
#include "host/debug_tooling.h"
#include "host/display_modes.h"
#include "host/engine.h"
#include "host/frame_loop.h"
#include "input/input.h"
#include "script/state.h"
#include "text/font_stack.h"
#include "text/state.h"
#include "text/syscalls.h"

namespace tavelo::host {
namespace {

audio::VoiceGate audio_gate(text::VoiceGate gate) {
  switch (gate) {
    case text::VoiceGate::Forced: return audio::VoiceGate::Forced;
    case text::VoiceGate::Male: return audio::VoiceGate::Male;
    case text::VoiceGate::Female: break;
  }
  return audio::VoiceGate::Female;
}

// Voices go through the message window (so they reach the history and the
// quotation records) and come back to the audio channels to play.
void connect_voices(Engine& engine) {
  engine.text.play_voice = [](Engine& owner, const text::VoiceAnnouncement& voice) {
    audio::announce_voice(owner.audio, owner.script,
                          {voice.name, voice.loop ? audio::Looping::Loop : audio::Looping::Once,
                           audio_gate(voice.gate), voice.skip ? audio::VoiceSkip::Skip : audio::VoiceSkip::Play});
    return owner.audio.channels.voice.stream != 0;
  };
  engine.text.voice_playing = [](Engine& owner) {
    return audio::channel_status(owner.audio, {audio::ChannelGroup::Voice, 0}) == 1;
  };
  engine.audio.voice_command = [](Engine& owner, std::string_view command) {
    text::execute_command(owner.text, owner.script, command, text::CommandOrigin::VoiceCall);
  };
}

}  // namespace

void install_hooks(Engine& engine) {
  script::HostHooks& hooks = engine.script.hooks;
  hooks.append_text = [](Engine& owner, std::string_view game_text) {
    note_shown_text(owner, game_text);
    text::text_instruction(owner, game_text);
  };
  hooks.control_code = text::control_instruction;
  hooks.open_in_editor = open_in_editor;
  hooks.lay_out_message = [](Engine& owner) {
    if (!text::message_instruction(owner)) return false;
    note_message_laid_out(owner);
    return true;
  };
  hooks.pump_events = [](Engine& owner) { drain_events(owner); };
  hooks.thread_freed = [](Engine& owner, int32_t thread_id) {
    text::forget_thread_fonts(owner.text.fonts, thread_id);
    owner.text.message.replay_cursors.erase(thread_id);
  };
  hooks.keyboard_skip = [](Engine& owner, bool settle) { return input::keyboard_skip(owner.input, settle); };
  hooks.before_message_box = [](Engine& owner) {
    set_full_screen(owner, false);
    owner.platform.raise_window();
  };
  connect_voices(engine);
}

}  // namespace tavelo::host
