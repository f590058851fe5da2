// tvdbg: a command-line debugger for games running in the engine with
// --debug PORT. Commands come from standard input, one a line.

#include <cstdio>
#include <string>

#include "tools/common/tool_support.h"
#include "tools/tvdbg/debugger_session.h"

namespace {

constexpr const char* kUsage =
    "usage: tvdbg [--codepage NAME] [--timeout MS] [HOST:PORT] < COMMANDS\n"
    "Debugs a game running in tavelo --debug PORT. Commands, one a line:\n"
    "  attach HOST:PORT     connect (HOST:PORT on the command line attaches first)\n"
    "  break FILE:LINE      stop when that line of the script runs\n"
    "  delete FILE:LINE     remove the breakpoint\n"
    "  step                 run to the next line of the stopped thread\n"
    "  next                 the same, stepping over calls\n"
    "  stepin               run until the thread enters a call\n"
    "  continue             run to the next breakpoint (or the end)\n"
    "  print VARIABLE       show a variable (@name, #name, ...)\n"
    "  where                the line the game stopped at\n"
    "  quit                 detach; the game goes on\n"
    "Exit status 0 when every command worked, 1 otherwise.\n";

int run_tool(int argc, char** argv) {
  using namespace tavelo::tools;
  Arguments arguments = collect_arguments(argc, argv);
  if (arguments.take_flag("--help") || arguments.take_flag("-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  DebuggerOptions options;
  if (std::optional<std::string> code_page = arguments.take_option("--codepage")) options.code_page = *code_page;
  if (std::optional<std::string> timeout = arguments.take_option("--timeout")) {
    unsigned value = 0;
    if (std::sscanf(timeout->c_str(), "%u", &value) != 1) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    options.timeout_ms = value;
  }
  if (arguments.words.size() > 1) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string first;
  if (!arguments.words.empty()) first = "attach " + arguments.words.front();
  return run_debugger_session(stdin, stdout, options, first);
}

}  // namespace

int main(int argc, char** argv) { return tavelo::tools::finish_output("tvdbg", run_tool(argc, argv)); }
