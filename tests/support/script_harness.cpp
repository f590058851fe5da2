// Scenario harness for scripts.

#include "tests/support/script_harness.h"

#include <cstdio>

#include "resources/name_hash.h"

namespace tavelo::testing {

std::string expand_script(std::string_view source) {
  std::string out;
  size_t start = 0;
  while (start < source.size()) {
    size_t end = source.find('\n', start);
    if (end == std::string_view::npos) end = source.size();
    std::string line(source.substr(start, end - start));
    size_t first = line.find_first_not_of(" \t");
    std::string word = first == std::string::npos ? "" : line.substr(first);
    if (word.rfind("PRINT", 0) == 0) {
      std::string count = word.size() > 5 ? word.substr(6) : "1";
      line = "    syscall_discard 0xF3679C34 " + count;
    } else if (word == "END") {
      line = "    syscall_discard 0x8D8FB32E 0";
    }
    // {name} -> the name hash in hexadecimal.
    for (size_t open = line.find('{'); open != std::string::npos; open = line.find('{')) {
      size_t close = line.find('}', open);
      if (close == std::string::npos) break;
      std::string name = line.substr(open + 1, close - open - 1);
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08X", resources::name_hash(sjis(name)));
      line.replace(open, close - open + 1, hex);
    }
    out += line + "\n";
    start = end + 1;
  }
  return out;
}

std::string start_script(std::string_view body, std::string_view extra) {
  std::string source =
      ".entry main\n"
      ".function \"$init@GLOBAL\" init\n"
      ".function \"$main@GLOBAL\" main\n"
      "init:\n"
      "    return\n"
      "main:\n"
      "    line 1\n";
  source += body;
  source += "\n    END\n    return\n";
  source += extra;
  return expand_script(source);
}

ScriptRun run_script(std::string_view body, std::string_view extra, platform::AnswerPolicy policy,
                     const RunHooks& hooks, std::vector<std::pair<std::string, std::string>> more_scripts) {
  TempDirectory game;
  GameFiles files;
  files.scripts.push_back({"scenario/start.tvo", start_script(body, extra)});
  for (auto& [path, source] : more_scripts) files.scripts.push_back({path, expand_script(source)});
  write_game(game, files);
  ScriptRun run;
  run.game = run_game(game, {}, std::move(policy), hooks);
  run.lines = log_messages(run.game.log);
  return run;
}

}  // namespace tavelo::testing
