#pragma once
// Compiles script-language sources in-process with tvc and runs them as a
// game on the headless engine, for the tvc tests. Sources are given by file
// name ("start.tvs" is the start script); each compiles to scenario/NAME.tvo.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/text_encoding.h"
#include "tests/support/game_builder.h"
#include "tools/tvc/compiler.h"
#include "tools/tvc/syscall_lookup.h"

namespace tavelo::testing {

using Sources = std::map<std::string, std::string>;

struct Compiled {
  std::map<std::string, std::vector<uint8_t>> scripts;  // "start" -> bytes
  std::string report;                                  // errors and warnings
  bool ok = false;
};

inline Compiled compile_sources(const Sources& sources, tools::tvc::LineMode lines = tools::tvc::LineMode::All) {
  static std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create("CP932");
  static std::unique_ptr<tools::tvc::SyscallLookup> syscalls = tools::tvc::engine_syscall_lookup();
  tools::tvc::CompileOptions options;
  options.encoding = encoding.get();
  options.syscalls = syscalls.get();
  options.lines = lines;
  options.read_file = [&sources](const std::string& path) -> std::optional<std::string> {
    auto found = sources.find(path.substr(path.rfind('/') + 1));
    if (found == sources.end()) return std::nullopt;
    return found->second;
  };
  tools::tvc::Compilation compilation(options);
  Compiled compiled;
  compiled.ok = true;
  for (const auto& [name, text] : sources) {
    std::optional<std::vector<uint8_t>> bytes = compilation.compile_file("src/" + name);
    if (!bytes) {
      compiled.ok = false;
      continue;
    }
    compiled.scripts[name.substr(0, name.rfind('.'))] = *bytes;
  }
  compiled.report = compilation.report();
  return compiled;
}

struct TvsRun {
  GameRun game;
  std::vector<std::string> lines;  // the debug log without date stamps
};

inline TvsRun run_sources(const Sources& sources, const RunHooks& hooks = {},
                          tools::tvc::LineMode lines = tools::tvc::LineMode::All, std::string environment = "") {
  TvsRun run;
  Compiled compiled = compile_sources(sources, lines);
  EXPECT_TRUE(compiled.ok) << compiled.report;
  if (!compiled.ok) return run;
  TempDirectory game;
  for (const auto& [name, bytes] : compiled.scripts) game.write("scenario/" + name + ".tvo", bytes);
  game.write("tavelo.env", sjis("TITLEBAR TvcTest\n" + environment));
  game.write("update/debug.dat", std::string("debug"));
  run.game = run_game(game, {}, {}, hooks);
  run.lines = log_messages(run.game.log);
  return run;
}

// The start script alone; `main` and `init` are the caller's to write.
inline TvsRun run_source(const std::string& start, const RunHooks& hooks = {},
                         tools::tvc::LineMode lines = tools::tvc::LineMode::All) {
  return run_sources({{"start.tvs", start}}, hooks, lines);
}

}  // namespace tavelo::testing
