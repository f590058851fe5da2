// Game directories for scenario tests.

#include "tests/support/game_builder.h"

#include <gtest/gtest.h>

#include "host/engine.h"
#include "resources/state.h"
#include "tests/support/test_engine.h"
#include "tools/assembler/assembler.h"

namespace tavelo::testing {

std::vector<uint8_t> assemble_source(const std::string& source, std::string_view code_page) {
  std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create(code_page);
  tools::AssemblerContext context;
  context.encoding = encoding.get();
  tools::AssemblyResult result = tools::assemble(source, context);
  EXPECT_TRUE(result.ok()) << tools::format_errors(result, "source");
  return result.bytes;
}

void write_game(const TempDirectory& directory, const GameFiles& files) {
  for (const auto& [path, source] : files.scripts) directory.write(path, assemble_source(source, files.code_page));
  directory.write("tavelo.env", files.code_page == "CP932" ? sjis(files.environment) : files.environment);
  if (files.debug_mode) directory.write("update/debug.dat", std::string("debug"));
}

GameRun run_game(const TempDirectory& directory, host::StartupOptions options, platform::AnswerPolicy policy,
                 const RunHooks& hooks) {
  GameRun run;
  {
    TestEngine test(directory.path(), std::move(policy), hooks.code_page);
    test.engine.resources.settings.store_directory = directory.at("settings");
    if (hooks.before) hooks.before(test);
    run.status = host::run_engine(test.engine, options);
    run.boxes = test.platform.boxes();
    if (hooks.after) hooks.after(test);
  }
  std::vector<uint8_t> log = read_bytes(directory.at("debugout.log"));
  run.log.assign(log.begin(), log.end());
  return run;
}

ProcessResult run_tavelo(const TempDirectory& directory, const std::string& extra_options) {
  std::string command = "TAVELO_CONFIG_HOME='" + directory.at("settings") + "' '" + tool_path("tavelo") +
                        "' --headless " + extra_options + " '" + directory.path() + "'";
  return run_command(command);
}

std::vector<std::string> log_messages(const std::string& log) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(start, end - start);
    // "YYMMDD_HHMM text"
    if (line.size() >= 12 && line[6] == '_' && line[11] == ' ') line = line.substr(12);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace tavelo::testing
