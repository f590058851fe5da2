// tvarc: builds, lists, extracts and verifies the engine's .arc archives.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "resources/archive.h"
#include "resources/format.h"
#include "tools/archive/archive_tool.h"
#include "tools/common/tool_support.h"

namespace {

using namespace tavelo;

constexpr const char* kUsage =
    "usage: tvarc COMMAND ...\n"
    "\n"
    "  tvarc create [--v1|--v2] DIR -o FILE.arc   pack the files of DIR (default format: v2)\n"
    "  tvarc list FILE.arc [--names DIR]          show hash, offset and size of every entry\n"
    "  tvarc extract FILE.arc -C DIR [--names DIR]\n"
    "                                             unpack every entry into DIR\n"
    "  tvarc verify FILE.arc                      check an archive as the engine would load it\n"
    "\n"
    "Archives store no names, only the hash of each lower-cased file name. create\n"
    "skips what the engine skips when it scans a directory (hidden items, folders\n"
    "named debuginfo or mdb or containing \"backup\", and the extensions .lnk .exe\n"
    ".com .dll .log .sue .vix .mdb .tvs .tvh .db .txt .bat) and packs a directory\n"
    "reached twice through symbolic links once. list and extract name\n"
    "entries from the files of a --names directory (usually the directory the\n"
    "archive was made from); unknown entries are written as XXXXXXXX.bin.\n"
    "\n"
    "  --codepage NAME   code page of the game's file names (default CP932)\n"
    "\n"
    "Exit status: 0 success, 1 failure or (verify) problems found, 2 usage error.\n";

int usage_error(const std::string& message) {
  std::fprintf(stderr, "tvarc: %s\n\n%s", message.c_str(), kUsage);
  return 2;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "tvarc: %s\n", message.c_str());
  return 1;
}

// Names for list and extract, from a --names directory when given.
std::optional<std::map<uint32_t, std::string>> load_names(const platform::TextEncoding& encoding,
                                                          const std::optional<std::string>& directory) {
  if (!directory) return std::map<uint32_t, std::string>{};
  std::vector<tools::ArchiveSource> sources;
  std::vector<std::string> skipped;
  std::string error;
  if (!tools::collect_archive_sources(encoding, *directory, sources, skipped, error)) {
    fail(error);
    return std::nullopt;
  }
  return tools::names_by_key(sources);
}

int run_create(const platform::TextEncoding& encoding, tools::Arguments& arguments) {
  bool v1 = arguments.take_flag("--v1");
  bool v2 = arguments.take_flag("--v2");
  std::optional<std::string> output = arguments.take_option("--output", "-o");
  if (v1 && v2) return usage_error("--v1 and --v2 exclude each other");
  if (!output) return usage_error("create needs -o FILE.arc");
  if (arguments.words.size() != 1) return usage_error("create needs exactly one directory");
  std::vector<tools::ArchiveSource> sources;
  std::vector<std::string> skipped;
  std::string error;
  if (!tools::collect_archive_sources(encoding, arguments.words[0], sources, skipped, error)) return fail(error);
  for (const std::string& directory : skipped) {
    std::fprintf(stderr, "tvarc: skipped %s: it leads back to a directory already packed\n", directory.c_str());
  }
  size_t count = sources.size();
  resources::ArchiveVersion version = v1 ? resources::ArchiveVersion::V1 : resources::ArchiveVersion::V2;
  if (!tools::write_archive(version, std::move(sources), *output, error)) return fail(error);
  std::printf("%s: %zu entries (%s)\n", output->c_str(), count, v1 ? "v1" : "v2");
  return 0;
}

int run_list(const platform::TextEncoding& encoding, tools::Arguments& arguments) {
  std::optional<std::string> names_directory = arguments.take_option("--names");
  if (arguments.words.size() != 1) return usage_error("list needs exactly one archive");
  std::optional<std::map<uint32_t, std::string>> names = load_names(encoding, names_directory);
  if (!names) return 1;
  std::optional<platform::File> file = platform::File::open(arguments.words[0], platform::OpenMode::Read);
  if (!file) return fail("cannot open " + arguments.words[0]);
  resources::Archive archive;
  resources::ArchiveProblem problem = resources::read_archive(*file, archive);
  if (problem != resources::ArchiveProblem::None) {
    return fail(arguments.words[0] + " is damaged: " + std::string(resources::describe_archive_problem(problem)));
  }
  std::printf("# %s, %d entries, %llu bytes\n",
              archive.header.version == resources::ArchiveVersion::V1 ? "v1" : "v2", archive.header.count,
              (unsigned long long)file->length());
  std::printf("# hash     offset     size       name\n");
  for (const resources::ArchiveEntry& entry : archive.entries) {
    auto name = names->find(entry.hash);
    std::printf("%08X %10u %10u %s\n", entry.hash, entry.offset, entry.size,
                name != names->end() ? name->second.c_str() : "-");
  }
  return 0;
}

int run_extract(const platform::TextEncoding& encoding, tools::Arguments& arguments) {
  std::optional<std::string> names_directory = arguments.take_option("--names");
  std::optional<std::string> target = arguments.take_option("--directory", "-C");
  if (!target) return usage_error("extract needs -C DIR");
  if (arguments.words.size() != 1) return usage_error("extract needs exactly one archive");
  std::optional<std::map<uint32_t, std::string>> names = load_names(encoding, names_directory);
  if (!names) return 1;
  std::string error;
  if (!tools::extract_archive(arguments.words[0], *target, *names, error)) return fail(error);
  return 0;
}

int run_verify(tools::Arguments& arguments) {
  if (arguments.words.size() != 1) return usage_error("verify needs exactly one archive");
  std::vector<std::string> problems = tools::verify_archive(arguments.words[0]);
  for (const std::string& problem : problems) std::printf("%s: %s\n", arguments.words[0].c_str(), problem.c_str());
  if (!problems.empty()) return 1;
  std::printf("%s: ok\n", arguments.words[0].c_str());
  return 0;
}

int run_tool(int argc, char** argv) {
  tools::Arguments arguments = tools::collect_arguments(argc, argv);
  if (arguments.words.empty()) return usage_error("no command");
  if (arguments.take_flag("--help") || arguments.take_flag("-h") || arguments.words[0] == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::string code_page = arguments.take_option("--codepage").value_or("CP932");
  std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create(code_page);
  if (!encoding) return usage_error("unknown code page " + code_page);

  std::string command = arguments.words[0];
  arguments.words.erase(arguments.words.begin());
  if (command == "create") return run_create(*encoding, arguments);
  if (command == "list") return run_list(*encoding, arguments);
  if (command == "extract") return run_extract(*encoding, arguments);
  if (command == "verify") return run_verify(arguments);
  return usage_error("unknown command " + command);
}

}  // namespace

int main(int argc, char** argv) { return tavelo::tools::finish_output("tvarc", run_tool(argc, argv)); }
