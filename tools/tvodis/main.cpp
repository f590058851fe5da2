// tvodis: writes the text form of a compiled script (.tvo).

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
    "usage: tvodis FILE.tvo [-o SOURCE] [--codepage NAME]\n"
    "\n"
    "Writes the text form of a compiled script (see docs/tvoasm.md) to standard\n"
    "output or to SOURCE. tvoasm turns the output back into the same bytes, for\n"
    "any input file: unknown opcodes and undecodable bytes are kept as .bytes.\n"
    "\n"
    "  -o, --output SOURCE  write the text here instead of standard output\n"
    "  --codepage NAME      game code page of string literals (default CP932)\n"
    "  -h, --help           this text\n"
    "\n"
    "Exit status: 0 on success, 1 when a file cannot be read or written.\n";

int fail(const std::string& message) {
  std::fprintf(stderr, "tvodis: %s\n", message.c_str());
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
  if (arguments.words.size() != 1) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create(code_page);
  if (!encoding) return fail("unknown code page " + code_page);
  std::optional<std::vector<uint8_t>> file = platform::read_file(arguments.words[0]);
  if (!file) return fail("cannot read " + arguments.words[0]);

  script::SyscallTable syscalls;
  (void)host::build_engine_syscall_table(syscalls);
  std::string text = tools::disassemble(*file, {encoding.get(), &syscalls});
  if (!output) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  }
  std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  if (!platform::write_file_atomically(*output, bytes)) return fail("cannot write " + *output);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return tavelo::tools::finish_output("tvodis", run_tool(argc, argv)); }
