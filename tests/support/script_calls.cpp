// Script text for system-call scenarios.

#include "tests/support/script_calls.h"

#include <gtest/gtest.h>

namespace tavelo::testing {

std::string push(const std::string& argument) {
  if (argument.rfind("@", 0) == 0) return "    load global int \"" + argument + "@GLOBAL\"\n";
  if (argument.rfind("f:", 0) == 0) return "    push_float " + argument.substr(2) + "\n";
  if (argument.rfind("'", 0) == 0) return "    push_string \"" + argument.substr(1, argument.size() - 2) + "\"\n";
  return "    push_int " + argument + "\n";
}

std::string call(const std::string& name, std::initializer_list<std::string> arguments) {
  std::vector<std::string> in_order(arguments);
  std::string text;
  for (auto it = in_order.rbegin(); it != in_order.rend(); ++it) text += push(*it);
  return text + "    syscall " + name + " " + std::to_string(in_order.size()) + "\n";
}

std::string keep(const std::string& variable, const std::string& name, std::initializer_list<std::string> arguments) {
  return call(name, arguments) + "    set_int_pop global int \"@" + variable + "@GLOBAL\"\n";
}

std::string print(const std::string& name, std::initializer_list<std::string> arguments) {
  return call(name, arguments) + "    PRINT 1\n";
}

std::string filled(const std::string& variable, int width, int height, int colour, bool indexed) {
  std::string script = indexed ? keep(variable, "page_create", {std::to_string(width), std::to_string(height), "0"})
                               : keep(variable, "page_create", {std::to_string(width), std::to_string(height)});
  return script + call("grp_boxfill", {"@" + variable, "0", "0", std::to_string(width), std::to_string(height),
                                       std::to_string(colour)});
}

std::string rgb(int red, int green, int blue) { return std::to_string(red + green * 256 + blue * 65536) + " "; }
std::string grey(int level) { return rgb(level, level, level); }

bool contains(const std::string& line, const std::string& part) { return line.find(part) != std::string::npos; }

void check(const ScriptRun& run, const Lines& expected) {
  ASSERT_GE(run.lines.size(), expected.size()) << ::testing::PrintToString(run.lines);
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(run.lines[i], expected[i]) << "line " << i;
}

ScriptRun run_with_pictures(const std::string& body, const std::vector<Picture>& pictures,
                            platform::AnswerPolicy policy, const RunHooks& hooks, const std::string& environment) {
  TempDirectory game;
  GameFiles files;
  files.scripts.push_back({"scenario/start.tvo", start_script(body)});
  files.environment = environment;
  write_game(game, files);
  game.write("data/.keep", std::string());
  for (const Picture& picture : pictures) {
    // The engine's own formats are converted from a PNG by tvimg.
    bool own_format = picture.name.ends_with(".rct") || picture.name.ends_with(".rc8");
    std::string made_file = own_format ? game.at(picture.name + ".png") : game.at("data/" + picture.name);
    ProcessResult made = run_command("convert " + picture.arguments + " '" + picture.format + ":" + made_file + "'");
    EXPECT_EQ(made.exit_status, 0) << picture.name << ": " << made.output;
    if (own_format) {
      made = run_command("'" + tool_path("tvimg") + "' '" + made_file + "' '" + game.at("data/" + picture.name) + "'");
      EXPECT_EQ(made.exit_status, 0) << picture.name << ": " << made.output;
    }
  }
  ScriptRun run;
  run.game = run_game(game, {}, std::move(policy), hooks);
  run.lines = log_messages(run.game.log);
  return run;
}

}  // namespace tavelo::testing
