#pragma once
// Small helpers shared by the command-line tools: argument parsing and the
// engine-free pieces they need (code page conversion for file names and text).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavelo::tools {

// Command-line arguments after the program name.
struct Arguments {
  std::vector<std::string> words;

  // Removes "--name VALUE" or "-n VALUE" and returns VALUE.
  std::optional<std::string> take_option(std::string_view long_name, std::string_view short_name = {});
  // Removes a flag such as "--v1"; true when it was present.
  bool take_flag(std::string_view name);
};

Arguments collect_arguments(int argc, char** argv);

// The end of every tool's main(): flushes standard output and checks that
// every write to it went through. A lost write (a full disk, a closed pipe,
// /dev/full) is reported on standard error as "<tool>: cannot write standard
// output" and turns a success into exit status 1; any other status is kept.
int finish_output(std::string_view tool, int status);

}  // namespace tavelo::tools
