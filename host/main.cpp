// The tavelo executable: parses the command line, picks the platform backend
// and runs the engine on a game directory.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "audio/wave_writer.h"
#include "graphics/png_writer.h"
#include "host/engine.h"
#include "host/input_replay.h"
#include "host/startup.h"
#include "platform/file_system.h"
#include "platform/headless/headless_platform.h"
#include "platform/sdl/sdl_platform.h"
#include "platform/system.h"
#include "platform/text_encoding.h"
#include "resources/memory.h"

namespace {

constexpr std::string_view kUsage =
    "usage: tavelo [OPTIONS] [GAME_DIR]\n"
    "Runs a game directory (default: the bundled demo game).\n"
    "\n"
    "  --headless             no window, no sound device; a virtual clock\n"
    "  --quit-after MS        end the engine after MS milliseconds of script time,\n"
    "                         or with status 255 when scripts keep control for\n"
    "                         longer than MS milliseconds of real time\n"
    "  --answer POLICY        how headless message boxes are answered: continue\n"
    "                         (default), cancel, or a list such as yes,no,retry\n"
    "  --env-file NAME        the environment file name (default tavelo.env)\n"
    "  --codepage NAME        the game code page (default CP932)\n"
    "  --screenshot FILE      when the engine ends, write the display page as PNG\n"
    "  --audio-out FILE       with --headless: write the sound output as a 44.1 kHz\n"
    "                         16-bit stereo WAV file, from start-up to the end\n"
    "  --input FILE           replay input events from a text file\n"
    "  --debug PORT           wait for a script debugger (tools/tvdbg) on\n"
    "                         127.0.0.1:PORT before the game starts (0: any free\n"
    "                         port, printed); /DEBUG:PORT does the same\n"
    "  --help                 this text\n"
    "\n"
    "Exit status: 0 for a normal end, 255 for an abnormal end, 2 for a bad command line.\n";

struct CommandLine {
  bool headless = false;
  std::string game_directory;
  std::string answer = "continue";
  std::string code_page = "CP932";
  std::string screenshot;  // absolute: the engine runs in the game directory
  std::string audio_out;
  tavelo::host::StartupOptions startup;
  std::string input_file;
};

// The longest --quit-after: script time is a 32-bit millisecond clock, and a
// deadline must stay less than half its range ahead to compare correctly.
constexpr uint32_t kMaxQuitAfterMs = 0x7FFFFFFF;

// Decimal digits only: no sign, blanks or suffix, and no value beyond the
// limit (which would wrap to a small one).
std::optional<uint32_t> parse_milliseconds(std::string_view text) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + uint64_t(c - '0');
    if (value > kMaxQuitAfterMs) return std::nullopt;
  }
  return uint32_t(value);
}

// "/DEBUG:" takes up to 13 characters and reads decimal digits up to the
// first other character; 0 (or no digits) means no debugger.
std::optional<uint32_t> parse_debug_switch(std::string_view text) {
  uint64_t value = 0;
  for (char c : text.substr(0, 13)) {
    if (c < '0' || c > '9') break;
    value = value * 10 + uint64_t(c - '0');
  }
  return value > 65535 ? std::nullopt : std::optional<uint32_t>(uint32_t(value));
}

// The demo beside the executable in a build tree, or where an installation
// puts it (../share/games/tavelo/demo from the engine's directory).
std::string bundled_demo_directory() {
  std::string here = tavelo::platform::executable_directory();
  std::string built = here + "/games/demo";
  if (tavelo::platform::is_directory(built)) return built;
  std::string installed = here + "/../share/games/tavelo/demo";
  return tavelo::platform::is_directory(installed) ? installed : built;
}

int usage_error(const std::string& message) {
  std::fprintf(stderr, "tavelo: %s\n%.*s", message.c_str(), int(kUsage.size()), kUsage.data());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tavelo;
  resources::install_out_of_memory_handler();

  CommandLine command;
  for (int i = 1; i < argc; ++i) {
    std::string_view word = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string text;
    if (word == "--help" || word == "-h") {
      std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
      return 0;
    } else if (word == "--headless") {
      command.headless = true;
    } else if (word == "--quit-after") {
      std::optional<uint32_t> milliseconds;
      if (value(text)) milliseconds = parse_milliseconds(text);
      if (!milliseconds) return usage_error("--quit-after needs a number of milliseconds from 0 to 2147483647");
      command.startup.quit_after_ms = milliseconds;
    } else if (word == "--answer") {
      if (!value(command.answer)) return usage_error("--answer needs a policy");
    } else if (word == "--env-file") {
      if (!value(command.startup.environment_file)) return usage_error("--env-file needs a name");
    } else if (word == "--codepage") {
      if (!value(command.code_page)) return usage_error("--codepage needs a name");
    } else if (word == "--screenshot") {
      if (!value(command.screenshot) || command.screenshot.empty()) return usage_error("--screenshot needs a file name");
      if (command.screenshot.front() != '/') command.screenshot = platform::current_directory() + "/" + command.screenshot;
    } else if (word == "--audio-out") {
      if (!value(command.audio_out) || command.audio_out.empty()) return usage_error("--audio-out needs a file name");
      // The engine runs in the game directory; the file is named from here.
      if (command.audio_out.front() != '/') command.audio_out = platform::current_directory() + "/" + command.audio_out;
    } else if (word == "--debug") {
      std::optional<uint32_t> port;
      if (value(text)) port = parse_milliseconds(text);  // decimal digits only
      if (!port || *port > 65535) return usage_error("--debug needs a port number from 0 to 65535");
      command.startup.debug_port = uint16_t(*port);
    } else if (word.substr(0, 7) == "/DEBUG:") {
      std::optional<uint32_t> port = parse_debug_switch(word.substr(7));
      if (!port) return usage_error("/DEBUG: needs a port number up to 65535");
      if (*port != 0) command.startup.debug_port = uint16_t(*port);
    } else if (word == "--input") {
      if (!value(command.input_file)) return usage_error("--input needs a file");
    } else if (!word.empty() && word.front() == '-') {
      return usage_error("unknown option " + std::string(word));
    } else if (command.game_directory.empty()) {
      command.game_directory = std::string(word);
    } else {
      return usage_error("only one game directory may be given");
    }
  }

  // Replayed input is read whole before anything runs; paths in it are taken
  // from the directory the engine was started in.
  std::vector<platform::Event> replay;
  if (!command.input_file.empty()) {
    std::optional<std::vector<uint8_t>> bytes = platform::read_file(command.input_file);
    if (!bytes) {
      std::fprintf(stderr, "tavelo: %s: cannot read the input file\n", command.input_file.c_str());
      return 2;
    }
    host::ReplayParse parsed = host::parse_input_replay(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), platform::current_directory());
    if (parsed.error) {
      std::fprintf(stderr, "tavelo: %s:%zu: %s\n", command.input_file.c_str(), parsed.error->line,
                   parsed.error->reason.c_str());
      return 2;
    }
    replay = std::move(parsed.events);
  }

  if (command.game_directory.empty()) command.game_directory = bundled_demo_directory();
  if (!platform::is_directory(command.game_directory) || !platform::change_directory(command.game_directory)) {
    std::fprintf(stderr, "tavelo: %s is not a game directory\n", command.game_directory.c_str());
    return 255;
  }
  std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create(command.code_page);
  if (!encoding) return usage_error("unknown code page " + command.code_page);
  std::optional<platform::AnswerPolicy> policy = platform::parse_answer_policy(command.answer);
  if (!policy) return usage_error("unknown --answer policy " + command.answer);

  if (!command.audio_out.empty() && !command.headless) return usage_error("--audio-out needs --headless");

  platform::install_stop_signals();
  std::unique_ptr<platform::Platform> backend;
  if (!command.headless) {
    backend = platform::create_sdl_platform();
    if (!backend) std::fprintf(stderr, "tavelo: no display available; running headless\n");
  }
  // What the virtual clock pulls from the mixer goes to the file as it comes.
  std::optional<audio::WaveWriter> audio_out;
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
    backend = std::move(headless);
  }

  host::Engine engine(*backend, *encoding, platform::current_directory());
  if (!replay.empty()) host::load_input_replay(engine, std::move(replay));
  int status = host::run_engine(engine, command.startup);
  if (!command.screenshot.empty() && engine.graphics.screen.paint_suspended) {
    // A movie owns the window: its picture is what the player sees.
    host::write_window_screenshot(engine, command.screenshot);
  } else if (!command.screenshot.empty() && !graphics::write_screenshot(engine.graphics, command.screenshot)) {
    std::fprintf(stderr, "tavelo: cannot write the screenshot %s\n", command.screenshot.c_str());
  }
  if (audio_out && !audio::finish_wave(*audio_out)) std::fprintf(stderr, "tavelo: writing %s failed\n", command.audio_out.c_str());
  return status;
}
