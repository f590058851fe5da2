// tvc: compiles script sources (.tvs) to compiled scripts (.tvo), and makes
// new game projects from the template.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "tools/common/tool_support.h"
#include "tools/tvc/compiler.h"
#include "tools/tvc/project_template.h"
#include "tools/tvc/syscall_lookup.h"

namespace {

constexpr const char* kUsage =
    "usage: tvc [OPTIONS] SOURCE.tvs...\n"
    "       tvc new DIRECTORY\n"
    "\n"
    "Compiles each source (the language is described in docs/language.md) to a\n"
    "compiled script beside it (NAME.tvo), or into the --out-dir directory.\n"
    "Errors and warnings are listed as FILE:LINE:COLUMN: error: MESSAGE with\n"
    "the source line and a caret.\n"
    "\n"
    "  -o, --output FILE    the compiled script (one source only)\n"
    "  -d, --out-dir DIR    where the compiled scripts go\n"
    "  -I DIR               where imports are looked for after the source's own\n"
    "                       directory (may be given more than once)\n"
    "  --check              check only: report errors and warnings, write nothing\n"
    "  --codepage NAME      game code page (an iconv name, default CP932)\n"
    "  --lines all|text     line-number instructions before every statement (all,\n"
    "                       the default) or only before story text (text)\n"
    "  -h, --help           this text\n"
    "\n"
    "tvc new DIRECTORY makes a small game to start from: a title, a scene, a\n"
    "choice, two endings, a save point, a picture and a sound, with build.sh.\n"
    "\n"
    "Exit status: 0 when every source compiled (warnings allowed), 1 on errors,\n"
    "2 on a bad command line.\n";

int usage_error(const std::string& message) {
  std::fprintf(stderr, "tvc: %s\n\n%s", message.c_str(), kUsage);
  return 2;
}

std::string output_path(const std::string& source, const std::optional<std::string>& directory) {
  size_t slash = source.find_last_of('/');
  std::string file = slash == std::string::npos ? source : source.substr(slash + 1);
  std::string base = file.substr(0, file.rfind('.') == std::string::npos || file.rfind('.') == 0 ? file.size() : file.rfind('.'));
  std::string where = directory ? *directory : (slash == std::string::npos ? "" : source.substr(0, slash));
  if (!where.empty() && where.back() != '/') where += '/';
  return where + base + ".tvo";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tavelo;
  tools::Arguments arguments = tools::collect_arguments(argc, argv);
  if (arguments.take_flag("--help") || arguments.take_flag("-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!arguments.words.empty() && arguments.words[0] == "new") {
    if (arguments.words.size() != 2) return usage_error("tvc new takes one directory");
    std::string problem = tools::tvc::make_project(arguments.words[1]);
    if (!problem.empty()) {
      std::fprintf(stderr, "tvc: %s\n", problem.c_str());
      return 1;
    }
    std::printf("made %s: build it with %s/build.sh\n", arguments.words[1].c_str(), arguments.words[1].c_str());
    return 0;
  }
  std::optional<std::string> output = arguments.take_option("--output", "-o");
  std::optional<std::string> out_directory = arguments.take_option("--out-dir", "-d");
  std::string code_page = arguments.take_option("--codepage").value_or("CP932");
  std::string lines = arguments.take_option("--lines").value_or("all");
  bool check = arguments.take_flag("--check");
  tools::tvc::CompileOptions options;
  while (std::optional<std::string> directory = arguments.take_option("-I")) options.import_directories.push_back(*directory);
  for (const std::string& word : arguments.words) {
    if (word.size() > 1 && word[0] == '-') return usage_error("unknown option " + word);
  }
  if (arguments.words.empty()) return usage_error("no source given");
  if (output && arguments.words.size() != 1) return usage_error("-o takes one source; use --out-dir for several");
  if (lines != "all" && lines != "text") return usage_error("--lines is all or text");
  options.lines = lines == "all" ? tools::tvc::LineMode::All : tools::tvc::LineMode::Text;
  std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create(code_page);
  if (!encoding) return usage_error("unknown code page " + code_page);
  options.encoding = encoding.get();
  std::unique_ptr<tools::tvc::SyscallLookup> syscalls = tools::tvc::engine_syscall_lookup();
  options.syscalls = syscalls.get();
  if (out_directory && !check) platform::make_directories(*out_directory);

  tools::tvc::Compilation compilation(options);
  bool failed = false;
  for (const std::string& source : arguments.words) {
    std::optional<std::vector<uint8_t>> bytes = compilation.compile_file(source);
    if (!bytes) {
      failed = true;
    } else if (!check) {
      std::string path = output ? *output : output_path(source, out_directory);
      if (!platform::write_file_atomically(path, *bytes)) {
        std::fprintf(stderr, "tvc: cannot write %s\n", path.c_str());
        failed = true;
      }
    }
  }
  std::string report = compilation.report();
  std::fputs(report.c_str(), stderr);
  return failed ? 1 : 0;
}
