// tvoasm: assembles a compiled script (.tvo) from its text form.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "host/syscall_tables.h"
#include "script/dispatch.h"
#include "tools/assembler/assembler.h"
#include "tools/common/tool_support.h"

namespace {

constexpr const char* kUsage =
    "usage: tvoasm SOURCE -o FILE.tvo [--codepage NAME]\n"
    "\n"
    "Assembles a compiled script from its UTF-8 text form (see docs/tvoasm.md).\n"
    "String literals and hashed names are converted to the game code page\n"
    "(default CP932) before they are written or hashed.\n"
    "\n"
    "  -o, --output FILE    the compiled script to write\n"
    "  --codepage NAME      game code page (an iconv name, default CP932)\n"
    "  -h, --help           this text\n"
    "\n"
    "Exit status: 0 when the file was written, 1 on errors (listed with line numbers).\n";

int fail(const std::string& message) {
  std::fprintf(stderr, "tvoasm: %s\n", message.c_str());
  return 1;
}

int run_tool(int argc, char** argv) {
  using namespace tavelo;
  tools::Arguments arguments = tools::collect_arguments(argc, argv);
  if (arguments.take_flag("--help") || arguments.take_flag("-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::optional<std::string> output = arguments.take_option("--output", "-o");
  std::string code_page = arguments.take_option("--codepage").value_or("CP932");
  if (!output || arguments.words.size() != 1) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  const std::string& source_path = arguments.words[0];
  std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create(code_page);
  if (!encoding) return fail("unknown code page " + code_page);
  std::optional<std::vector<uint8_t>> source = platform::read_file(source_path);
  if (!source) return fail("cannot read " + source_path);

  script::SyscallTable syscalls;
  (void)host::build_engine_syscall_table(syscalls);
  tools::AssemblerContext context{encoding.get(), &syscalls};
  tools::AssemblyResult result =
      tools::assemble(std::string_view(reinterpret_cast<const char*>(source->data()), source->size()), context);
  if (!result.ok()) {
    std::fputs(tools::format_errors(result, source_path).c_str(), stderr);
    return 1;
  }
  if (!platform::write_file_atomically(*output, result.bytes)) return fail("cannot write " + *output);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return tavelo::tools::finish_output("tvoasm", run_tool(argc, argv)); }
