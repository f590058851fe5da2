// Search-list registration: opening archives and scanning directory trees.

#include "resources/search_list.h"

#include <algorithm>
#include <mutex>
#include <numeric>
#include <optional>
#include <unordered_map>

#include "host/engine.h"
#include "host/message_box.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"
#include "resources/file_lookup.h"
#include "resources/game_names.h"

namespace tavelo::resources {
namespace {

// Deeper than any real game tree. The bound exists because a symbolic link
// pointing back up the tree would otherwise be followed until the stack ran out.
constexpr int kMaxScanDepth = 32;

// Window events are pumped after this many accepted files. A pump costs about
// 20 us on an X11 window while a warm scan accepts a file in about 1 us, so
// pumping after every file would make scans some twenty times slower; every
// 128 files adds about a fifth and still pumps several times a millisecond.
constexpr size_t kFilesPerEventPump = 128;

std::optional<size_t> find_entry(const State& state, std::string_view name) {
  for (size_t i = 0; i < state.search_list.size(); ++i) {
    if (compare_text(state.lead_bytes, state.search_list[i].name, name, Case::Insensitive) == 0) return i;
  }
  return std::nullopt;
}

void release_contents(SearchEntry& entry) {
  entry.header = {};
  entry.index = {};
  entry.files = {};
  entry.files_by_key = {};
  entry.directories = {};
}

// A host directory in the engine's form: relative to the working directory
// when it lies inside it (so it survives a game directory whose own path has
// characters outside the code page), `\` separators.
std::string engine_form_of_directory(const host::Engine& engine, std::string_view host_path) {
  std::string_view working = engine.resources.working_directory;
  while (working.size() > 1 && working.back() == '/') working.remove_suffix(1);
  if (host_path == working) {
    host_path = ".";
  } else if (host_path.size() > working.size() && host_path.starts_with(working) &&
             (host_path[working.size()] == '/' || working == "/")) {
    host_path.remove_prefix(working == "/" ? 1 : working.size() + 1);
  }
  std::string text = game_name_from_disk(engine.encoding, host_path);
  // `/` is never the second byte of a double-byte character.
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

std::string join_game_path(std::string_view directory, std::string_view name) {
  if (directory.empty() || directory == ".") return std::string(name);
  std::string path(directory);
  path += '\\';
  path += name;
  return path;
}

struct Scan {
  host::Engine& engine;
  SearchEntry& entry;
  // Key -> directory of the first file with it, for the duplicate warning.
  std::unordered_map<uint32_t, uint32_t> first_with_key;
  size_t accepted = 0;
  bool stopped = false;
};

void scan_directory(Scan& scan, const std::string& host_path, const std::string& text, int depth) {
  host::Engine& engine = scan.engine;
  const LeadByteTable& lead = engine.resources.lead_bytes;
  uint32_t directory_index = uint32_t(scan.entry.directories.size());
  scan.entry.directories.push_back({text, host_path});

  std::vector<platform::DirectoryItem> items;
  if (!platform::list_directory(host_path, items)) return;
  for (const platform::DirectoryItem& item : items) {
    if (scan.stopped) return;
    if (item.hidden) continue;
    std::string name = game_name_from_disk(engine.encoding, item.name);
    if (item.is_directory) {
      if (is_skipped_directory(lead, name) || depth >= kMaxScanDepth) continue;
      scan_directory(scan, host_path + "/" + item.name, join_game_path(text, name), depth + 1);
      continue;
    }
    if (is_skipped_file(lead, name)) continue;

    uint32_t key = lookup_key(lead, name);
    auto [first, inserted] = scan.first_with_key.try_emplace(key, directory_index);
    if (!inserted) {
      // Both copies stay listed; the one scanned first wins every lookup.
      std::string earlier = scan.entry.directories[first->second].text;
      if (!host::show_box(engine, host::BoxKind::FatalRetry, "ファイル[ %s ]が[ %s ]と[ %s ]に存在します",
                          {name, earlier, text})) {
        scan.stopped = true;
        return;
      }
    }
    scan.entry.files.push_back({key, directory_index});
    if (++scan.accepted % kFilesPerEventPump == 0) engine.platform.pump_events();
    if (engine.stopping()) {
      scan.stopped = true;
      return;
    }
  }
}

void sort_files_by_key(SearchEntry& entry) {
  entry.files_by_key.resize(entry.files.size());
  std::iota(entry.files_by_key.begin(), entry.files_by_key.end(), 0u);
  // Stable, so records with one key keep their scan order.
  std::stable_sort(entry.files_by_key.begin(), entry.files_by_key.end(),
                   [&](uint32_t a, uint32_t b) { return entry.files[a].key < entry.files[b].key; });
}

void report_damaged_archive(host::Engine& engine, std::string_view name) {
  host::show_box(engine, host::BoxKind::Error, "ファイル[%s]が破損しています。再インストールしてください", {name});
  host::request_exit(engine, 255);
}

// Fills an empty entry (name and sound-only set) from disk; returns the
// registration result.
int register_entry(host::Engine& engine, SearchEntry& entry) {
  const std::string& base = engine.resources.base_directory;
  std::vector<std::string> candidates;
  if (!base.empty()) candidates.push_back(base + entry.name);
  candidates.push_back(entry.name);

  for (const std::string& candidate : candidates) {
    std::string archive_path = candidate + ".arc";
    std::optional<std::string> host_path = to_host_path(engine, archive_path);
    if (!host_path) continue;
    std::optional<platform::File> file = platform::File::open(*host_path, platform::OpenMode::Read);
    if (!file) continue;
    Archive archive;
    if (read_archive(*file, archive) != ArchiveProblem::None) {
      report_damaged_archive(engine, entry.name);
      return -1;
    }
    entry.kind = SearchEntryKind::Archive;
    entry.path = std::move(archive_path);
    entry.host_path = std::move(*host_path);
    entry.header = archive.header.bytes;
    entry.index = std::move(archive.entries);
    return 1;
  }

  for (const std::string& candidate : candidates) {
    std::optional<std::string> host_path = to_host_path(engine, candidate);
    if (!host_path || !platform::is_directory(*host_path)) continue;
    entry.kind = SearchEntryKind::Directory;
    entry.path = candidate + "\\";
    entry.host_path = std::move(*host_path);
    Scan scan{engine, entry, {}, 0, false};
    scan_directory(scan, entry.host_path, engine_form_of_directory(engine, entry.host_path), 0);
    sort_files_by_key(entry);
    return entry.files.empty() ? -1 : 0;
  }
  return -1;
}

}  // namespace

int search_entry_add(host::Engine& engine, std::string_view name, SoundOnly sound_only) {
  State& state = engine.resources;
  std::lock_guard<std::recursive_mutex> lock(state.search_lock);
  // An empty name would otherwise register the game directory itself.
  if (name.empty()) return -1;
  // Held as an index: a message box shown while scanning may run code that
  // registers another entry and moves the list.
  std::optional<size_t> existing = find_entry(state, name);
  if (existing) {
    const SearchEntry& entry = state.search_list[*existing];
    if (entry.kind == SearchEntryKind::Archive && !entry.index.empty()) return 1;
  }

  SearchEntry fresh;
  fresh.name = existing ? state.search_list[*existing].name : std::string(name);
  fresh.sound_only = existing ? state.search_list[*existing].sound_only : sound_only;
  if (existing) release_contents(state.search_list[*existing]);
  int result = register_entry(engine, fresh);
  if (existing) {
    state.search_list[*existing] = std::move(fresh);
  } else if (result != -1) {
    state.search_list.push_back(std::move(fresh));
  }
  return result;
}

void search_entry_unload(host::Engine& engine, std::string_view name) {
  State& state = engine.resources;
  std::lock_guard<std::recursive_mutex> lock(state.search_lock);
  if (std::optional<size_t> index = find_entry(state, name)) release_contents(state.search_list[*index]);
}

void set_base_directory(host::Engine& engine, std::string_view game_path) {
  State& state = engine.resources;
  std::lock_guard<std::recursive_mutex> lock(state.search_lock);
  state.base_directory = std::string(game_path);
  if (state.base_directory.empty()) return;
  // Multibyte-aware: a path ending in a double-byte character whose second
  // byte is 0x5C does not end in a separator.
  size_t last = 0;
  for (size_t i = 0; i < game_path.size(); i += character_length(state.lead_bytes, game_path, i)) last = i;
  if (!(game_path[last] == '\\' && character_length(state.lead_bytes, game_path, last) == 1)) {
    state.base_directory += '\\';
  }
}

}  // namespace tavelo::resources
