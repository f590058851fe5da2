// Search-list registration: opening archives and scanning directory trees.

#include "resources/search_list.h"

#include <algorithm>
#include <mutex>
#include <numeric>
#include <optional>
#include <set>
#include <unordered_map>

#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "resources/file_lookup.h"
#include "resources/game_names.h"
#include "resources/state.h"

namespace tavelo::resources {
namespace {

// Deeper than any real game tree. Links back up the tree are caught by the
// visited set; the bound remains for file systems without stable inode numbers.
constexpr int kMaxScanDepth = 32;

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
std::string engine_form_of_directory(const State& state, std::string_view host_path) {
  std::string_view working = state.working_directory;
  while (working.size() > 1 && working.back() == '/') working.remove_suffix(1);
  if (host_path == working) {
    host_path = ".";
  } else if (host_path.size() > working.size() && host_path.starts_with(working) &&
             (host_path[working.size()] == '/' || working == "/")) {
    host_path.remove_prefix(working == "/" ? 1 : working.size() + 1);
  }
  std::string text = game_name_from_disk(state.encoding, host_path);
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
  State& state;
  ScanObserver& observer;
  SearchEntry& entry;
  // Key -> directory of the first file with it, for the duplicate warning.
  std::unordered_map<uint32_t, uint32_t> first_with_key;
  // Every directory scanned so far, by device and inode: a symbolic link to
  // one of them would list its files again (a loop: again and again).
  std::set<platform::FileIdentity> visited;
  size_t accepted = 0;
  bool stopped = false;
};

void scan_directory(Scan& scan, const std::string& host_path, const std::string& text, int depth) {
  std::optional<platform::FileIdentity> identity = platform::file_identity(host_path);
  if (identity && !scan.visited.insert(*identity).second) {
    scan.observer.skipped_visited_directory(text);
    return;
  }
  const State& state = scan.state;
  const LeadByteTable& lead = state.lead_bytes;
  uint32_t directory_index = uint32_t(scan.entry.directories.size());
  scan.entry.directories.push_back({text, host_path});

  std::vector<platform::DirectoryItem> items;
  if (!platform::list_directory(host_path, items)) return;
  for (const platform::DirectoryItem& item : items) {
    if (scan.stopped) return;
    if (item.hidden) continue;
    std::string name = game_name_from_disk(state.encoding, item.name);
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
      if (!scan.observer.accept_duplicate(name, earlier, text)) {
        scan.stopped = true;
        return;
      }
    }
    scan.entry.files.push_back({key, directory_index});
    if (++scan.accepted % kFilesPerProgress == 0 && !scan.observer.continue_scan()) {
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

// Fills an empty entry (name and sound-only set) from disk.
Registration register_entry(State& state, SearchEntry& entry, ScanObserver& observer) {
  const std::string& base = state.base_directory;
  std::vector<std::string> candidates;
  if (!base.empty()) candidates.push_back(base + entry.name);
  candidates.push_back(entry.name);

  for (const std::string& candidate : candidates) {
    std::string archive_path = candidate + ".arc";
    std::optional<std::string> host_path = to_host_path(state, archive_path);
    if (!host_path) continue;
    std::optional<platform::File> file = platform::File::open(*host_path, platform::OpenMode::Read);
    if (!file) continue;
    Archive archive;
    if (read_archive(*file, archive) != ArchiveProblem::None) return Registration::Damaged;
    entry.kind = SearchEntryKind::Archive;
    entry.path = std::move(archive_path);
    entry.host_path = std::move(*host_path);
    entry.header = archive.header.bytes;
    entry.index = std::move(archive.entries);
    return Registration::Archive;
  }

  for (const std::string& candidate : candidates) {
    std::optional<std::string> host_path = to_host_path(state, candidate);
    if (!host_path || !platform::is_directory(*host_path)) continue;
    entry.kind = SearchEntryKind::Directory;
    entry.path = candidate + "\\";
    entry.host_path = std::move(*host_path);
    Scan scan{state, observer, entry, {}, {}, 0, false};
    scan_directory(scan, entry.host_path, engine_form_of_directory(state, entry.host_path), 0);
    sort_files_by_key(entry);
    if (scan.stopped) return Registration::Stopped;
    return entry.files.empty() ? Registration::Nothing : Registration::Directory;
  }
  return Registration::Nothing;
}

}  // namespace

Registration search_entry_add(State& state, std::string_view name, SoundOnly sound_only, ScanObserver& observer) {
  std::lock_guard<std::recursive_mutex> lock(state.search_lock);
  // An empty name would otherwise register the game directory itself.
  if (name.empty()) return Registration::Nothing;
  // Held as an index, not a reference, so the list may grow meanwhile.
  std::optional<size_t> existing = find_entry(state, name);
  if (existing) {
    const SearchEntry& entry = state.search_list[*existing];
    if (entry.kind == SearchEntryKind::Archive && !entry.index.empty()) return Registration::Archive;
  }

  SearchEntry fresh;
  fresh.name = existing ? state.search_list[*existing].name : std::string(name);
  fresh.sound_only = existing ? state.search_list[*existing].sound_only : sound_only;
  if (existing) release_contents(state.search_list[*existing]);
  Registration result = register_entry(state, fresh, observer);
  bool keep = result == Registration::Archive || result == Registration::Directory || result == Registration::Stopped;
  if (existing) {
    state.search_list[*existing] = std::move(fresh);
  } else if (keep) {
    state.search_list.push_back(std::move(fresh));
  }
  return result;
}

void search_entry_unload(State& state, std::string_view name) {
  std::lock_guard<std::recursive_mutex> lock(state.search_lock);
  if (std::optional<size_t> index = find_entry(state, name)) release_contents(state.search_list[*index]);
}

void set_base_directory(State& state, std::string_view game_path) {
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
