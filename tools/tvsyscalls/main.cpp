// tvsyscalls: prints the list of system calls (docs/syscalls.md).

#include <cstdio>
#include <string>

#include "tools/common/tool_support.h"
#include "tools/tvsyscalls/syscall_listing.h"

namespace {

constexpr const char* kUsage =
    "usage: tvsyscalls [--count | --json]\n"
    "\n"
    "Prints the engine's system calls as a Markdown table (key, name, owning\n"
    "table, arguments and result): the content of docs/syscalls.md.\n"
    "\n"
    "  --count     print only \"IMPLEMENTED of KNOWN\" keys\n"
    "  --json      print the calls as a JSON array, signatures taken apart\n"
    "  -h, --help  this text\n";

int run_tool(int argc, char** argv) {
  using namespace tavelo;
  tools::Arguments arguments = tools::collect_arguments(argc, argv);
  if (arguments.take_flag("--help") || arguments.take_flag("-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  bool count_only = arguments.take_flag("--count");
  bool json = arguments.take_flag("--json");
  if (!arguments.words.empty() || (count_only && json)) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  if (count_only) {
    std::printf("%zu of %zu\n", tools::implemented_syscall_count(), tools::kKnownSyscallKeys);
  } else {
    std::string text = json ? tools::syscall_listing_json() : tools::syscall_listing();
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return tavelo::tools::finish_output("tvsyscalls", run_tool(argc, argv)); }
