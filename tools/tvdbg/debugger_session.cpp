// The tvdbg session.

#include "tools/tvdbg/debugger_session.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <optional>
#include <vector>

#include "platform/loopback_socket.h"
#include "platform/text_encoding.h"
#include "resources/name_hash.h"
#include "library/debug_link.h"

namespace tavelo::tools {
namespace {

using library::LinkFrame;

constexpr uint32_t kPollMs = 10;

struct Session {
  std::FILE* output = nullptr;
  DebuggerOptions options;
  std::unique_ptr<platform::TextEncoding> encoding;
  std::optional<platform::LoopbackSocket> link;
  std::vector<uint8_t> received;
  bool in_break = false;
  bool ended = false;
  std::optional<library::BreakReport> last_break;
  std::optional<library::VariableRecord> last_variable;
};

void say(Session& session, const std::string& line) {
  std::fprintf(session.output, "%s\n", line.c_str());
  std::fflush(session.output);
}

void lose_link(Session& session, std::string_view why) {
  session.link.reset();
  session.received.clear();
  session.in_break = false;
  if (!session.ended) say(session, "ended (" + std::string(why) + ")");
  session.ended = true;
}

// Everything the engine sends on its own: breaks, records, goodbye.
void take_frame(Session& session, const LinkFrame& frame) {
  if (frame.kind == library::FrameKind::CopyData && frame.tag == library::kTagBreak) {
    if (std::optional<library::BreakReport> report = library::decode_break_report(frame.data)) {
      session.last_break = report;
      session.in_break = true;
      say(session, "break " + report->script + ":" + std::to_string(report->line));
    }
  } else if (frame.kind == library::FrameKind::CopyData && frame.tag == library::kTagVariable) {
    session.last_variable = library::decode_variable(frame.data);
  } else if (frame.kind == library::FrameKind::Message && frame.code == library::kLinkGoodbye) {
    lose_link(session, "the engine ended");
  }
}

// Reads frames until done() holds or the time runs out; false on a timeout
// or a lost link.
template <typename Done>
bool read_until(Session& session, Done done) {
  uint32_t waited = 0;
  for (;;) {
    LinkFrame frame;
    library::FrameRead read;
    while ((read = library::read_link_frame(session.received, frame)) == library::FrameRead::Frame) {
      take_frame(session, frame);
      if (done(frame)) return true;
    }
    if (read == library::FrameRead::Broken) {
      lose_link(session, "garbled data from the engine");
      return false;
    }
    if (!session.link) return false;
    if (waited >= session.options.timeout_ms) {
      say(session, "error: no answer from the engine");
      return false;
    }
    if (!session.link->wait_readable(kPollMs)) {
      waited += kPollMs;
      continue;
    }
    if (session.link->read_some(session.received) == platform::LoopbackSocket::ReadStatus::Closed) {
      lose_link(session, "connection closed");
      return false;
    }
  }
}

std::optional<int32_t> request(Session& session, uint32_t code, int32_t w = 0, int32_t l = 0) {
  if (!session.link) {
    say(session, "error: not attached");
    return std::nullopt;
  }
  if (!session.link->write_all(library::encode_message(code, w, l))) {
    lose_link(session, "connection closed");
    return std::nullopt;
  }
  std::optional<int32_t> reply;
  read_until(session, [&](const LinkFrame& frame) {
    if (frame.kind != library::FrameKind::Reply || frame.code != code) return false;
    reply = frame.l;
    return true;
  });
  return reply;
}

// Resumes the engine and waits for its next break or its end.
bool resume(Session& session, uint32_t code) {
  if (!session.in_break) code = library::kLinkResume;
  if (!request(session, code)) return false;
  session.in_break = false;
  return read_until(session, [&](const LinkFrame&) { return session.in_break; }) || session.ended;
}

bool attach(Session& session, std::string_view target) {
  size_t colon = target.rfind(':');
  if (colon == std::string_view::npos) {
    say(session, "error: attach needs HOST:PORT");
    return false;
  }
  std::string host(target.substr(0, colon));
  unsigned port = 0;
  if (std::sscanf(std::string(target.substr(colon + 1)).c_str(), "%u", &port) != 1 || port == 0 || port > 65535) {
    say(session, "error: bad port in " + std::string(target));
    return false;
  }
  // The engine may still be starting: try again until the time runs out.
  std::string problem;
  for (uint32_t waited = 0; !session.link && waited <= session.options.timeout_ms; waited += 100) {
    session.link = platform::LoopbackSocket::connect(host, uint16_t(port), 1000, &problem);
    if (!session.link) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (!session.link) {
    say(session, "error: " + problem);
    return false;
  }
  session.ended = false;
  if (!read_until(session, [](const LinkFrame& frame) {
        return frame.kind == library::FrameKind::Message && frame.code == library::kLinkReady;
      })) {
    return false;
  }
  say(session, "attached " + std::string(target));
  // The engine waits for the first resume, then breaks at its first line.
  if (!request(session, library::kLinkResume)) return false;
  return read_until(session, [&](const LinkFrame&) { return session.in_break; });
}

std::string describe(Session& session, const library::VariableRecord& record) {
  switch (record.type) {
    case 0: return std::to_string(int32_t(record.payload));
    case 1: {
      float value;
      static_assert(sizeof value == sizeof record.payload);
      std::memcpy(&value, &record.payload, 4);
      char text[64];
      std::snprintf(text, sizeof text, "%g", double(value));
      return text;
    }
    case 2: return "\"" + session.encoding->to_utf8_lossy(record.text) + "\"";
    default: return "[array of " + std::to_string(record.payload) + "]";
  }
}

bool print(Session& session, std::string_view name) {
  std::string stored = stored_variable_name(session.encoding->from_utf8_lossy(name));
  session.last_variable.reset();
  std::optional<int32_t> reply = request(session, library::kLinkSendVariable, int32_t(resources::name_hash(stored)));
  if (!reply) return false;
  if (*reply != 0 || !session.last_variable) {
    say(session, std::string(name) + ": no such variable");
    return false;
  }
  say(session, std::string(name) + " = " + describe(session, *session.last_variable));
  return true;
}

bool breakpoint(Session& session, std::string_view where, uint32_t code) {
  size_t colon = where.rfind(':');
  int line = 0;
  if (colon == std::string_view::npos || std::sscanf(std::string(where.substr(colon + 1)).c_str(), "%d", &line) != 1) {
    say(session, "error: expected FILE:LINE");
    return false;
  }
  std::string script = normalized_script_name(session.encoding->from_utf8_lossy(where.substr(0, colon)));
  std::optional<int32_t> reply = request(session, code, int32_t(resources::name_hash(script)), line);
  if (!reply) return false;
  bool adding = code == library::kLinkAddBreakpoint;
  std::string place = script + ":" + std::to_string(line);
  if (*reply != 0) {
    say(session, adding ? "breakpoint " + place + " refused (present already, or too many)" : "no breakpoint " + place);
    return false;
  }
  say(session, (adding ? "breakpoint " : "deleted ") + place);
  return true;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

// One command; false when it failed.
bool run_command(Session& session, std::string_view line, bool& quit) {
  line = trim(line);
  if (line.empty() || line.front() == '#') return true;
  size_t blank = line.find(' ');
  std::string_view word = line.substr(0, blank);
  std::string_view rest = blank == std::string_view::npos ? std::string_view() : trim(line.substr(blank));
  if (word == "attach") return attach(session, rest);
  if (word == "break") return breakpoint(session, rest, library::kLinkAddBreakpoint);
  if (word == "delete") return breakpoint(session, rest, library::kLinkRemoveBreakpoint);
  if (word == "step") return resume(session, library::kLinkStep);
  if (word == "next") return resume(session, library::kLinkStepOver);
  if (word == "stepin") return resume(session, library::kLinkStepIn);
  if (word == "continue") return resume(session, library::kLinkContinue);
  if (word == "print") return print(session, rest);
  if (word == "where") {
    if (!session.last_break) {
      say(session, "not stopped");
      return false;
    }
    say(session, "at " + session.last_break->script + ":" + std::to_string(session.last_break->line));
    return true;
  }
  if (word == "quit" || word == "detach") {
    quit = true;
    return true;
  }
  say(session, "error: unknown command " + std::string(word));
  return false;
}

}  // namespace

std::string normalized_script_name(std::string_view file) {
  size_t slash = file.find_last_of("\\/");
  if (slash != std::string_view::npos) file.remove_prefix(slash + 1);
  size_t dot = file.rfind('.');
  if (dot != std::string_view::npos) file = file.substr(0, dot);
  std::string name;
  // Upper case for ASCII letters only, skipping the trail byte of a
  // double-byte character (0x81-0x9F, 0xE0-0xFC lead bytes).
  for (size_t i = 0; i < file.size(); ++i) {
    auto c = uint8_t(file[i]);
    name += char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if (((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && i + 1 < file.size()) name += file[++i];
  }
  return name + ".TVO";
}

std::string stored_variable_name(std::string_view name) {
  std::string stored(name);
  if (!stored.empty() && (stored[0] == '@' || stored[0] == '#') && stored.find('@', 1) == std::string::npos) {
    stored += "@GLOBAL";
  }
  return stored;
}

int run_debugger_session(std::FILE* input, std::FILE* output, const DebuggerOptions& options,
                         std::string_view first_command) {
  Session session;
  session.output = output;
  session.options = options;
  session.encoding = platform::TextEncoding::create(options.code_page);
  if (!session.encoding) {
    std::fprintf(output, "error: unknown code page %s\n", options.code_page.c_str());
    return 1;
  }
  bool all_worked = true;
  bool quit = false;
  if (!first_command.empty() && !run_command(session, first_command, quit)) all_worked = false;
  char line[4096];
  while (!quit && std::fgets(line, sizeof line, input)) {
    if (!run_command(session, line, quit)) all_worked = false;
  }
  return all_worked ? 0 : 1;
}

}  // namespace tavelo::tools
