// The script author's aids in debug mode.

#include "host/debug_tooling.h"

#include <algorithm>
#include <cstdio>

#include "host/engine.h"
#include "host/main_window.h"
#include "host/state.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/process_launcher.h"
#include "platform/system.h"
#include "platform/text_encoding.h"
#include "resources/file_lookup.h"
#include "resources/name_hash.h"
#include "resources/settings.h"
#include "library/debugger.h"
#include "resources/state.h"
#include "script/error_report.h"
#include "script/machine.h"
#include "script/message_box.h"
#include "script/state.h"
#include "script/thread.h"

namespace tavelo::host {
namespace {

constexpr size_t kPositionTextLimit = 8192;
constexpr size_t kWatchTextLimit = 511;
constexpr uint32_t kWatchIntervalMs = 10;
constexpr uint32_t kProcessCheckMs = 100;
constexpr uint32_t kSourceCheckMs = 500;

std::string_view file_part(std::string_view path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view directory_part(std::string_view path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

// "data\\START.TVO" -> "START".
std::string_view base_name(std::string_view name) {
  name = file_part(name);
  size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? name : name.substr(0, dot);
}

std::string lower_ascii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  return out;
}

void replace_all(std::string& text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// Relative paths are from the game directory, which the editor does not share.
std::string absolute(const Engine& engine, std::string path) {
  if (path.starts_with("./")) path.erase(0, 2);
  if (!path.empty() && path.front() != '/') path = engine.resources.working_directory + "/" + path;
  return path;
}

// The source of a compiled script, UTF-8: one directory above the compiled
// script, NAME.txt when it exists, else NAME.tvs.
std::string source_path(Engine& engine, std::string_view base) {
  resources::State& resources = engine.resources;
  std::string compiled = std::string(base) + ".tvo";
  std::optional<std::string> resolved = resources::file_resolve(resources, compiled);
  std::string parent(directory_part(directory_part(resolved ? *resolved : compiled)));
  // A source to be created takes the compiled file's spelling on disk, not
  // the upper-case normalized name.
  std::string created = engine.encoding.to_utf8_lossy(base);
  if (resolved && !lower_ascii(*resolved).ends_with(".arc")) {
    if (std::optional<std::string> host = resources::to_host_path(resources, *resolved)) {
      created = std::string(base_name(*host));
    }
  }
  std::string prefix = parent.empty() ? std::string() : parent + "\\";
  for (std::string_view extension : {".txt", ".tvs"}) {
    std::string game_path = prefix + std::string(base) + std::string(extension);
    if (std::optional<std::string> host = resources::to_host_path(resources, game_path)) return absolute(engine, *host);
  }
  // Neither exists: the .tvs name in that directory, for the editor to create.
  std::optional<std::string> directory = parent.empty() ? std::optional<std::string>(".")
                                                        : resources::to_host_path(resources, parent);
  return absolute(engine, (directory ? *directory : std::string(".")) + "/" + created + ".tvs");
}

void launch_editor(Engine& engine, std::vector<std::string> arguments) {
  platform::ProcessLaunch launch{std::move(arguments), {}};
  std::optional<int32_t> process = engine.platform.launch_process(launch);
  if (process) {
    engine.host.debug.editors.push_back(*process);
  } else {
    // The author learns why nothing opened from the log, not from a box.
    script::debug_log(engine.script, engine.encoding.from_utf8_lossy("editor did not start: " +
                                                                      platform::describe_launch(launch)));
  }
}

void finish_compile(Engine& engine, bool succeeded) {
  DebugTooling& debug = engine.host.debug;
  if (!debug.compile_pending) return;
  debug.compile_pending = false;
  // Threads still run in the old code; starting the game's start script
  // again loads each script afresh, and a changed file reloads.
  if (succeeded) engine.host.return_to_title = true;
}

void follow_processes(Engine& engine) {
  DebugTooling& debug = engine.host.debug;
  if (debug.compiler) {
    if (std::optional<int32_t> status = engine.platform.process_exit_status(*debug.compiler)) {
      debug.compiler.reset();
      if (*status != 0) {
        script::debug_log(engine.script, engine.encoding.from_utf8_lossy("script compiler ended with status " +
                                                                          std::to_string(*status)));
      }
      finish_compile(engine, *status == 0);
    }
  }
  std::erase_if(debug.editors, [&](int32_t process) { return engine.platform.process_exit_status(process).has_value(); });
}

void update_watch(Engine& engine) {
  DebugTooling& debug = engine.host.debug;
  uint32_t now = engine.platform.ticks_ms();
  if (debug.watch_started && int32_t(now - debug.next_watch_ms) < 0) return;
  debug.watch_started = true;
  debug.next_watch_ms = now + kWatchIntervalMs;
  if (resources::read_user_text(engine.resources, resources::UserText::WatchList).empty()) return;
  std::string text = engine.encoding.to_utf8_lossy(watch_text(engine));
  if (text == debug.status_text) return;
  debug.status_text = text;
  engine.platform.set_status_text(text);
}

}  // namespace

std::string editor_template_for(std::string_view editor) {
  std::vector<std::string> words = platform::split_command_line(editor);
  std::string program = words.empty() ? std::string() : lower_ascii(file_part(words.front()));
  constexpr std::string_view kPlusLine[] = {"vi", "vim", "nvim", "gvim", "view", "nano", "pico", "emacs",
                                            "emacsclient", "micro", "mcedit", "joe", "jed", "kak", "ne"};
  constexpr std::string_view kGoto[] = {"code", "codium", "code-insiders", "code-oss"};
  std::string command(editor);
  if (std::find(std::begin(kPlusLine), std::end(kPlusLine), program) != std::end(kPlusLine)) {
    return command + " +%line% %fn%";
  }
  if (std::find(std::begin(kGoto), std::end(kGoto), program) != std::end(kGoto)) return command + " -g %fn%:%line%";
  return command + " %fn%";
}

std::vector<std::string> editor_arguments(std::string_view command, std::string_view source_path, int32_t line) {
  std::vector<std::string> arguments = platform::split_command_line(command);
  std::string line_text = std::to_string(line);
  for (std::string& argument : arguments) {
    // %line% first: a path that happens to contain "%line%" stays as it is.
    replace_all(argument, "%line%", line_text);
    replace_all(argument, "%fn%", source_path);
  }
  return arguments;
}

std::string editor_command(Engine& engine) {
  std::string configured = resources::read_user_text(engine.resources, resources::UserText::Editor);
  if (!configured.empty() && configured != "none") return configured;
  for (std::string_view variable : {"VISUAL", "EDITOR"}) {
    if (std::optional<std::string> editor = platform::environment_variable(variable)) {
      return engine.encoding.from_utf8_lossy(editor_template_for(*editor));
    }
  }
  return engine.host.debug.fast_read_editor;
}

void open_in_editor(Engine& engine, std::string_view script_name, int32_t line) {
  if (!engine.script.debug_mode) return;
  std::string_view base = base_name(script_name);
  if (base.empty()) return;
  std::string command = engine.encoding.to_utf8_lossy(editor_command(engine));
  if (command.empty()) {
    // No editor configured anywhere: the desktop opens the source (without a line).
    engine.platform.open_with_desktop(source_path(engine, base));
    return;
  }
  std::string path = command.find("%fn%") != std::string::npos ? source_path(engine, base) : std::string();
  launch_editor(engine, editor_arguments(command, path, line));
}

void open_current_in_editor(Engine& engine) {
  script::Thread* thread = script::find_thread(engine.script, 0);
  if (!thread) thread = engine.script.current;
  if (!thread) return;
  const script::Frame& frame = thread->frame();
  if (!frame.code || !frame.code->script) return;
  open_in_editor(engine, frame.code->script->name, frame.line);
}

namespace {

// Starts the compiler on a source; the game restarts from its start script
// when the compiler ends with status 0.
void start_compile(Engine& engine, std::vector<std::string> arguments, std::string_view path) {
  platform::ProcessLaunch launch{std::move(arguments), std::string(directory_part(path))};
  std::optional<int32_t> process = engine.platform.launch_process(launch);
  if (!process) {
    script::debug_log(engine.script, engine.encoding.from_utf8_lossy("script compiler did not start: " +
                                                                      platform::describe_launch(launch)));
    return;
  }
  DebugTooling& debug = engine.host.debug;
  debug.compiler = process;
  debug.compile_pending = true;
}

std::string compiler_setting(Engine& engine) {
  return engine.encoding.to_utf8_lossy(resources::reg_read_text(engine.resources, "Compiler", "", 260).text);
}

// The Compiler setting's arguments for a source.
std::vector<std::string> configured_compiler(std::string_view command, std::string_view path) {
  std::vector<std::string> arguments = editor_arguments(command, path, 0);
  if (command.find("%fn%") == std::string_view::npos) arguments.emplace_back(path);
  return arguments;
}

// Without a Compiler setting, --watch runs the tvc that came with the engine
// (beside it, or in its bin directory; else the one on the PATH) and writes
// the compiled script where the engine found the old one.
std::vector<std::string> default_compiler(Engine& engine, std::string_view base, std::string_view path) {
  std::string tvc = "tvc";
  for (std::string candidate : {platform::executable_directory() + "/bin/tvc", platform::executable_directory() + "/tvc"}) {
    if (platform::is_file(candidate)) {
      tvc = candidate;
      break;
    }
  }
  std::string out = ".";
  if (std::optional<std::string> compiled = resources::file_resolve(engine.resources, std::string(base) + ".tvo")) {
    if (std::optional<std::string> host = resources::to_host_path(engine.resources, *compiled)) {
      out = absolute(engine, std::string(directory_part(*host)));
    }
  }
  return {tvc, "--out-dir", out, std::string(path)};
}

// Live reload: a loaded script whose source changed since it was first seen
// is compiled; one compile at a time.
void watch_sources(Engine& engine) {
  DebugTooling& debug = engine.host.debug;
  uint32_t now = engine.platform.ticks_ms();
  if (debug.compile_pending || int32_t(now - debug.next_source_check_ms) < 0) return;
  debug.next_source_check_ms = now + kSourceCheckMs;
  std::string setting = compiler_setting(engine);
  if (!debug.watch && setting.empty()) return;
  for (const std::unique_ptr<script::LoadedScript>& script : engine.script.scripts.loaded) {
    std::string base(base_name(script->name));
    std::string source = source_path(engine, base);
    uint64_t time = platform::file_time(source);
    if (time == 0) continue;  // no source beside it (a script from an archive)
    auto seen = std::find_if(debug.source_times.begin(), debug.source_times.end(),
                             [&](const auto& entry) { return entry.first == source; });
    if (seen == debug.source_times.end()) {
      debug.source_times.emplace_back(source, time);
      continue;
    }
    if (seen->second == time) continue;
    seen->second = time;
    start_compile(engine, setting.empty() ? default_compiler(engine, base, source) : configured_compiler(setting, source),
                  source);
    return;
  }
}

}  // namespace

void handle_dropped_file(Engine& engine, std::string_view path) {
  if (!engine.script.debug_mode) return;
  DebugTooling& debug = engine.host.debug;
  std::string extension = lower_ascii(file_part(path).substr(std::min(file_part(path).size(), file_part(path).rfind('.'))));
  if (extension != ".tvs" && extension != ".txt") {
    debug.compile_pending = false;
    return;
  }
  std::string compiler = compiler_setting(engine);
  if (compiler.empty()) {
    script::show_box(engine.script, script::BoxKind::Error,
                     "スクリプトコンパイラが設定されていません。設定値 Compiler にコンパイラのコマンドを書くと、"
                     "ドロップしたスクリプトをコンパイルします。",
                     {});
    return;
  }
  start_compile(engine, configured_compiler(compiler, path), path);
}

void note_shown_text(Engine& engine, std::string_view game_text) {
  if (!engine.script.debug_mode) return;
  DebugTooling& debug = engine.host.debug;
  std::string& position = engine.host.window.position_text;
  if (debug.position_restarts) {
    debug.position_restarts = false;
    position.clear();
    script::Thread* thread = engine.script.current;
    if (thread && thread->frame().code && thread->frame().code->script) {
      position = std::string(base_name(thread->frame().code->script->name)) + ".tvs(" +
                 std::to_string(thread->frame().line) + ")\n";
    }
  }
  position.append(game_text.substr(0, kPositionTextLimit - std::min(kPositionTextLimit, position.size())));
}

void note_message_laid_out(Engine& engine) { engine.host.debug.position_restarts = true; }

std::string watch_text(Engine& engine) {
  std::string list = resources::read_user_text(engine.resources, resources::UserText::WatchList);
  std::string text;
  size_t start = 0;
  while (start < list.size() && text.size() < kWatchTextLimit) {
    size_t end = list.find(' ', start);
    if (end == std::string::npos) end = list.size();
    std::string name = list.substr(start, end - start);
    start = end + 1;
    if (name.empty() || (name[0] != '@' && name[0] != '#')) continue;
    if (name.find('@', 1) == std::string::npos) name += "@GLOBAL";
    uint32_t hash = resources::name_hash(name);
    const script::Value* value = engine.script.eternal.find(hash);
    if (!value) value = engine.script.global.find(hash);
    char number[64];
    if (value && value->type == script::ValueType::Int) {
      std::snprintf(number, sizeof number, "%d ", value->integer);
      text += number;
    } else if (value && value->type == script::ValueType::Float) {
      std::snprintf(number, sizeof number, "%e ", double(value->real));
      text += number;
    } else if (value && value->type == script::ValueType::String && value->string) {
      text.append("\"").append(value->string->text()).append("\" ");
    } else {
      text += "??? ";
    }
  }
  if (text.size() > kWatchTextLimit) text.resize(kWatchTextLimit);
  return text;
}

void run_debug_tooling(Engine& engine) {
  DebugTooling& debug = engine.host.debug;
  if (debug.debugger) {
    library::Debugger& debugger = *debug.debugger;
    library::service_debugger(engine.script, debugger);
    if (debugger.compile_done) finish_compile(engine, true);
    if (debugger.compile_cancelled) debug.compile_pending = false;
    debugger.compile_done = debugger.compile_cancelled = false;
  }
  if (!engine.script.debug_mode) return;
  uint32_t now = engine.platform.ticks_ms();
  if ((debug.compiler || !debug.editors.empty()) && int32_t(now - debug.next_check_ms) >= 0) {
    debug.next_check_ms = now + kProcessCheckMs;
    follow_processes(engine);
  }
  watch_sources(engine);
  if (!engine.script.fast_mode) update_watch(engine);
}

bool start_debugger_link(Engine& engine, uint16_t port) {
  auto debugger = std::make_unique<library::Debugger>();
  if (std::optional<std::string> problem = library::open_debugger_link(*debugger, port)) {
    std::fprintf(stderr, "tavelo: the debugger link cannot listen: %s\n", problem->c_str());
    return false;
  }
  std::fprintf(stderr, "tavelo: waiting for a debugger on 127.0.0.1:%u\n", unsigned(debugger->listener.local_port()));
  engine.host.debug.debugger = std::move(debugger);
  engine.script.hooks.line_reached = [](Engine& owner, script::Thread& thread, int32_t line) {
    library::debugger_line(owner.script, *owner.host.debug.debugger, thread, line);
  };
  library::attach_debugger(engine.script, *engine.host.debug.debugger);
  return true;
}

void stop_debugger_link(Engine& engine) {
  std::unique_ptr<library::Debugger>& debugger = engine.host.debug.debugger;
  if (!debugger) return;
  library::close_debugger_link(*debugger);
  engine.script.hooks.line_reached = nullptr;
  debugger.reset();
}

}  // namespace tavelo::host
