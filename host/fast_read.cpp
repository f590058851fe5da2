// The fast-read file.

#include "host/fast_read.h"

#include <algorithm>
#include <span>

#include "host/engine.h"
#include "host/state.h"
#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "resources/search_list.h"
#include "resources/state.h"
#include "script/state.h"

namespace tavelo::host {
namespace {

constexpr std::string_view kFileNames[] = {"fastread.inf", "fastread.txt"};
// The directory is kept in 512 bytes, the editor command in 260.
constexpr size_t kDirectoryLimit = 511;
constexpr size_t kEditorLimit = 259;
// Only the first three lines that say something matter; a longer file is
// not read further than this.
constexpr size_t kMaxFileBytes = 64 * 1024;

std::string_view trimmed(std::string_view line) {
  line = line.substr(0, line.find(';'));
  line = line.substr(0, line.find("//"));
  while (!line.empty() && uint8_t(line.front()) <= 0x20) line.remove_prefix(1);
  while (!line.empty() && uint8_t(line.back()) <= 0x20) line.remove_suffix(1);
  return line;
}

std::string host_directory(Engine& engine, std::string_view directory) {
  std::string path = platform::to_slashes(engine.encoding.to_utf8_lossy(directory));
  if (path.empty() || path.front() != '/') path = engine.resources.working_directory + "/" + path;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

FastReadFile parse_fast_read_file(std::string_view text) {
  FastReadFile file;
  int line_number = 0;
  while (!text.empty() && line_number <= 2) {
    const size_t end = text.find('\n');
    const std::string_view line = trimmed(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty()) continue;
    // A value cut at its limit loses the blanks the cut left at its end.
    if (line_number == 0) file.directory = std::string(trimmed(line.substr(0, kDirectoryLimit)));
    if (line_number == 2) file.editor = std::string(trimmed(line.substr(0, kEditorLimit)));
    ++line_number;
  }
  return file;
}

std::optional<FastReadFile> read_fast_read_file(Engine& engine) {
  for (std::string_view name : kFileNames) {
    std::optional<std::string> path = platform::resolve_path(name, engine.resources.working_directory);
    std::optional<platform::File> file;
    if (path) file = platform::File::open(*path, platform::OpenMode::Read);
    if (!file) continue;
    std::string text(size_t(std::min<uint64_t>(file->length(), kMaxFileBytes)), '\0');
    text.resize(file->read(std::span<uint8_t>(reinterpret_cast<uint8_t*>(text.data()), text.size())));
    return parse_fast_read_file(text);
  }
  return std::nullopt;
}

void apply_fast_read_file(Engine& engine) {
  if (!engine.script.debug_mode) return;
  std::optional<FastReadFile> file = read_fast_read_file(engine);
  if (!file) return;
  engine.host.debug.fast_read_editor = file->editor;
  if (file->directory.empty()) return;
  const std::string directory = host_directory(engine, file->directory);
  (void)platform::make_directories(directory + "/savedata");
  // The directory serves a game run from a disc, when it lies on another disk.
  const std::string& working = engine.resources.working_directory;
  std::optional<platform::FileIdentity> game_disk = platform::file_identity(working);
  std::optional<platform::FileIdentity> fast_disk = platform::file_identity(directory);
  const bool same_disk = !game_disk || !fast_disk || game_disk->device == fast_disk->device;
  if (same_disk || platform::on_fixed_disk(working)) return;
  engine.resources.fast_read_directory = directory;
  resources::set_base_directory(engine.resources, file->directory);
}

}  // namespace tavelo::host
