// The tavelo executable: parses the command line, picks the platform backend
// and runs the engine on a game directory: the one given, the one the
// launcher's player picks in a window, or (headless) the bundled demo.

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/wave_writer.h"
#include "host/command_line.h"
#include "host/engine.h"
#include "host/input_replay.h"
#include "host/launcher.h"
#include "host/launcher_list.h"
#include "host/startup.h"
#include "host/state.h"
#include "platform/file_system.h"
#include "platform/headless/headless_platform.h"
#include "platform/sdl/sdl_platform.h"
#include "platform/system.h"
#include "platform/text_encoding.h"
#include "resources/memory.h"
#include "resources/settings_store.h"

namespace {

// One line per utterance, as --speech-out writes them: an interrupting one
// first stops what was being said.
void write_utterance(tavelo::platform::File& file, const tavelo::platform::Utterance& utterance) {
  const std::string time = std::to_string(utterance.script_time);
  if (utterance.interrupt) (void)file.write(time + " stop\n");
  if (utterance.text.empty()) return;
  std::string text = utterance.text;
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  (void)file.write(time + " say " + text + "\n");
}

// "/usr/bin/../share" as "/usr/share", so the launcher's list names the
// demo's folder as a run in it does.
std::string without_parent_steps(const std::string& path) {
  std::vector<std::string> parts;
  size_t at = 1;
  while (at <= path.size()) {
    size_t end = std::min(path.find('/', at), path.size());
    std::string part = path.substr(at, end - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    at = end + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  return out.empty() ? std::string("/") : out;
}

// The demo beside the executable in a build tree, or where an installation
// puts it (../share/games/tavelo/demo from the engine's directory).
std::string bundled_demo_directory() {
  std::string here = tavelo::platform::executable_directory();
  std::string built = here + "/games/demo";
  if (tavelo::platform::is_directory(built)) return built;
  std::string installed = here + "/../share/games/tavelo/demo";
  return tavelo::platform::is_directory(installed) ? without_parent_steps(installed) : built;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tavelo;
  resources::install_out_of_memory_handler();
  resources::fix_heap_thresholds();

  host::CommandLineParse parse = host::parse_command_line(argc, argv);
  if (!parse.command) return parse.exit_status;
  host::CommandLine& command = *parse.command;
  std::vector<platform::Event> replay;
  if (!host::read_replay_file(command, replay)) return 2;

  std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create(command.code_page);
  if (!encoding) return host::command_line_error("unknown code page " + command.code_page);
  std::optional<platform::AnswerPolicy> policy = platform::parse_answer_policy(command.answer);
  if (!policy) return host::command_line_error("unknown --answer policy " + command.answer);

  if (!command.audio_out.empty() && !command.headless) return host::command_line_error("--audio-out needs --headless");
  if (!command.speech_out.empty() && !command.headless) return host::command_line_error("--speech-out needs --headless");

  platform::install_stop_signals();
  std::unique_ptr<platform::Platform> backend;
  if (!command.headless) {
    backend = platform::create_sdl_platform();
    if (!backend) std::fprintf(stderr, "tavelo: no display available; running headless\n");
  }
  const std::optional<std::string> settings_directory = resources::settings_directory_from_environment();
  if (command.game_directory.empty() && backend) {
    // A window without a game: the launcher lets the player pick one.
    host::LauncherEnd chosen = host::run_launcher(*backend, {settings_directory, bundled_demo_directory(), std::move(replay)});
    if (!chosen.folder) return 0;
    command.game_directory = *chosen.folder;
    replay = std::move(chosen.replay);
  }
  if (command.game_directory.empty()) command.game_directory = bundled_demo_directory();
  if (!platform::is_directory(command.game_directory) || !platform::change_directory(command.game_directory)) {
    std::fprintf(stderr, "tavelo: %s is not a game directory\n", command.game_directory.c_str());
    return 255;
  }
  // A player's run (not an unattended headless one) counts as the game's last play.
  if (backend) host::note_game_played_in(settings_directory, platform::current_directory(), backend->local_time());
  // What the virtual clock pulls from the mixer goes to the file as it comes.
  std::optional<audio::WaveWriter> audio_out;
  std::optional<platform::File> speech_out;
  if (!backend) {
    auto headless = std::make_unique<platform::HeadlessPlatform>(std::move(*policy));
    if (!command.audio_out.empty()) {
      audio_out = audio::open_wave_writer(command.audio_out, 44100, 2);
      if (!audio_out) {
        std::fprintf(stderr, "tavelo: cannot write %s\n", command.audio_out.c_str());
        return 2;
      }
      headless->set_audio_sink([&audio_out](std::span<const int16_t> samples) { audio::append_samples(*audio_out, samples); });
    }
    if (!command.speech_out.empty()) {
      speech_out = platform::File::open(command.speech_out, platform::OpenMode::Write);
      if (!speech_out) {
        std::fprintf(stderr, "tavelo: cannot write %s\n", command.speech_out.c_str());
        return 2;
      }
      headless->set_speech_sink([&speech_out](const platform::Utterance& utterance) {
        write_utterance(*speech_out, utterance);
      });
    }
    backend = std::move(headless);
  }

  auto engine = std::make_unique<host::Engine>(*backend, *encoding, platform::current_directory());
  if (!replay.empty()) host::load_input_replay(*engine, replay);
  engine->host.debug.watch = command.watch;
  int status = host::run_engine(*engine, command.startup);
  if (status == host::kOtherCodePage) {
    // The game's environment file names its code page (CODEPAGE): start
    // again in that one, before anything was shown.
    const std::string wanted = host::environment_code_page(*engine);
    engine.reset();
    encoding = platform::TextEncoding::create(wanted);
    if (!encoding) {
      std::fprintf(stderr, "tavelo: the environment file names an unknown code page %s\n", wanted.c_str());
      return 255;
    }
    command.startup.code_page_given = true;
    engine = std::make_unique<host::Engine>(*backend, *encoding, platform::current_directory());
    if (!replay.empty()) host::load_input_replay(*engine, std::move(replay));
    engine->host.debug.watch = command.watch;
    status = host::run_engine(*engine, command.startup);
  }
  host::write_final_screenshot(*engine, command.screenshot);
  if (audio_out && !audio::finish_wave(*audio_out)) std::fprintf(stderr, "tavelo: writing %s failed\n", command.audio_out.c_str());
  return status;
}
