#pragma once
// State of the audio subsystem: the sound output (streams, device buffers,
// the streaming thread), the channels scripts address, and the connection to
// the platform's sound device. One per engine (host::Engine::audio); the
// host opens and drives it through audio/sound_system.h, the system calls
// and the message window's voice hook work on its channels.

#include <cstdint>
#include <span>
#include <string_view>

#include "audio/channels.h"
#include "audio/output.h"
#include "platform/platform.h"

namespace tavelo::host {
struct Engine;
}

namespace tavelo::audio {

// What the platform's sound device pulls from: the mix of every playing
// stream. Called on the device's own thread (real runs) or from the virtual
// clock's sleep (headless); it takes only the output's device lock.
class MixSource final : public platform::AudioSource {
 public:
  explicit MixSource(OutputState& output) : m_output(output) {}
  void render(std::span<int16_t> out) override { render_mix(m_output, out); }

 private:
  OutputState& m_output;
};

// How the `voice` call hands its "v" console command to the message window,
// which logs it in the history and plays it by the announcement rule. The
// host installs it; without it the call plays the voice at once, unlogged.
using VoiceCommandHook = void (*)(host::Engine& engine, std::string_view game_text_command);

struct State {
  State() = default;
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  // Closes the platform's device if it is still open, before the output goes.
  ~State();

  OutputState output;
  Channels channels;
  MixSource mix{output};

  // The platform whose device pulls from `mix`; null while none is open.
  platform::Platform* device_platform = nullptr;
  // Passes the main thread runs itself (headless): the time of the last one.
  bool pass_started = false;
  uint32_t last_pass_time = 0;

  VoiceCommandHook voice_command = nullptr;
};

}  // namespace tavelo::audio
