// The engine's command line.

#include "host/command_line.h"

#include <cstdio>
#include <string_view>

#include "graphics/png_writer.h"
#include "graphics/state.h"
#include "host/engine.h"
#include "host/input_replay.h"
#include "host/main_window.h"
#include "platform/file_system.h"

namespace tavelo::host {
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
    "  --speech-out FILE      with --headless: write what reading aloud would say,\n"
    "                         one line each: script time, then \"say TEXT\" or \"stop\"\n"
    "  --input FILE           replay input events from a text file\n"
    "  --watch                in debug mode, compile a changed script source with\n"
    "                         tvc (or the Compiler setting) and restart the game\n"
    "  --debug PORT           wait for a script debugger (tools/tvdbg) on\n"
    "                         127.0.0.1:PORT before the game starts (0: any free\n"
    "                         port, printed); /DEBUG:PORT does the same\n"
    "  --help                 this text\n"
    "\n"
    "Exit status: 0 for a normal end, 255 for an abnormal end, 2 for a bad command line.\n";

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

CommandLineParse usage_error(const std::string& message) { return {std::nullopt, command_line_error(message)}; }

}  // namespace

int command_line_error(const std::string& message) {
  std::fprintf(stderr, "tavelo: %s\n%.*s", message.c_str(), int(kUsage.size()), kUsage.data());
  return 2;
}

CommandLineParse parse_command_line(int argc, char** argv) {
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
      return {std::nullopt, 0};
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
      command.startup.code_page_given = true;
    } else if (word == "--screenshot") {
      if (!value(command.screenshot) || command.screenshot.empty()) return usage_error("--screenshot needs a file name");
      if (command.screenshot.front() != '/') command.screenshot = platform::current_directory() + "/" + command.screenshot;
    } else if (word == "--speech-out") {
      if (!value(command.speech_out) || command.speech_out.empty()) return usage_error("--speech-out needs a file name");
      if (command.speech_out.front() != '/') command.speech_out = platform::current_directory() + "/" + command.speech_out;
    } else if (word == "--watch") {
      command.watch = true;
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

  return {std::move(command), 0};
}

bool read_replay_file(const CommandLine& command, std::vector<platform::Event>& events) {
  if (command.input_file.empty()) return true;
  std::optional<std::vector<uint8_t>> bytes = platform::read_file(command.input_file);
  if (!bytes) {
    std::fprintf(stderr, "tavelo: %s: cannot read the input file\n", command.input_file.c_str());
    return false;
  }
  ReplayParse parsed = parse_input_replay(
      std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), platform::current_directory());
  if (parsed.error) {
    std::fprintf(stderr, "tavelo: %s:%zu: %s\n", command.input_file.c_str(), parsed.error->line,
                 parsed.error->reason.c_str());
    return false;
  }
  events = std::move(parsed.events);
  return true;
}

void write_final_screenshot(Engine& engine, const std::string& path) {
  if (path.empty()) return;
  if (engine.graphics.screen.paint_suspended) {
    // A movie owns the window: its picture is what the player sees.
    write_window_screenshot(engine, path);
  } else if (!graphics::write_screenshot(engine.graphics, path)) {
    std::fprintf(stderr, "tavelo: cannot write the screenshot %s\n", path.c_str());
  }
}

}  // namespace tavelo::host
