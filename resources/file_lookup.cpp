// File lookup over the base directory and the search list, and the mapping of
// engine paths onto the host file system.

#include "resources/file_lookup.h"

#include <algorithm>
#include <mutex>

#include "platform/text_encoding.h"
#include "resources/game_names.h"
#include "resources/search_list.h"
#include "resources/state.h"

namespace tavelo::resources {
namespace {

enum class Purpose { Open, Resolve, Size, Time };
enum class Place { Loose, Directory, Archive };

// One place a lookup may take the file from. Pointers stay valid while the
// search lock is held.
struct Candidate {
  Place place = Place::Loose;
  std::string host_path;
  const SearchEntry* entry = nullptr;
  const ScannedDirectory* directory = nullptr;
  ArchiveEntry archive_entry;
};

// `\` becomes `/`, but never the second byte of a double-byte character.
std::string with_slashes(const LeadByteTable& lead, std::string_view game_path) {
  std::string result(game_path);
  for (size_t i = 0; i < result.size(); i += character_length(lead, result, i)) {
    if (result[i] == '\\') result[i] = '/';
  }
  return result;
}

std::optional<std::string> resolve_in(const State& state, std::string_view game_path,
                                      const std::string& host_base, platform::OpenMode mode) {
  auto resolve = mode == platform::OpenMode::Read ? platform::resolve_path : platform::resolve_parent_path;
  std::string raw = with_slashes(state.lead_bytes, game_path);
  std::optional<std::string> utf8 = state.encoding.to_utf8(raw);
  if (utf8) {
    if (std::optional<std::string> found = resolve(*utf8, host_base)) return found;
    if (*utf8 == raw) return std::nullopt;
  }
  // On-disk names that are not UTF-8 are stored byte for byte.
  return resolve(raw, host_base);
}

std::string_view without_leading_separators(std::string_view name) {
  while (!name.empty() && (name.front() == '\\' || name.front() == '/')) name.remove_prefix(1);
  return name;
}

// Offers the candidates for name to accept in lookup order and stops at the
// first one it accepts ("the first that opens wins"). Holds the search lock.
template <typename Accept>
bool walk_lookup(State& state, std::string_view name, Purpose purpose, platform::OpenMode mode,
                 Accept&& accept) {
  std::lock_guard<std::recursive_mutex> lock(state.search_lock);
  const LeadByteTable& lead = state.lead_bytes;
  bool sound = is_sound_file(lead, name);

  auto try_base_directory = [&]() {
    if (state.base_directory.empty()) return false;
    Candidate candidate;
    std::optional<std::string> host_path =
        resolve_in(state, state.base_directory + std::string(name), state.working_directory, mode);
    if (!host_path) return false;
    candidate.host_path = std::move(*host_path);
    return accept(candidate);
  };

  // Loose files in the base directory override everything, except sounds,
  // which are taken from the registered places first.
  if (!sound && try_base_directory()) return true;
  if (purpose != Purpose::Size && has_directory_part(lead, name)) return false;

  uint32_t key = lookup_key(lead, name);
  std::string_view relative = without_leading_separators(name);
  for (const SearchEntry& entry : state.search_list) {
    if (entry.kind == SearchEntryKind::Directory) {
      if (entry.files.empty()) continue;
      if (purpose == Purpose::Size && entry.sound_only == SoundOnly::Yes && !sound) continue;
      auto first = std::lower_bound(entry.files_by_key.begin(), entry.files_by_key.end(), key,
                                    [&](uint32_t position, uint32_t k) { return entry.files[position].key < k; });
      for (auto it = first; it != entry.files_by_key.end() && entry.files[*it].key == key; ++it) {
        const ScannedDirectory& directory = entry.directories[entry.files[*it].directory];
        std::optional<std::string> host_path = resolve_in(state, relative, directory.host_path, mode);
        if (!host_path) continue;
        Candidate candidate{Place::Directory, std::move(*host_path), &entry, &directory, {}};
        if (accept(candidate)) return true;
      }
    } else {
      if (entry.index.empty() || purpose == Purpose::Time) continue;
      const ArchiveEntry* found = find_archive_entry(entry.index, key);
      if (!found) continue;
      Candidate candidate{Place::Archive, entry.host_path, &entry, nullptr, *found};
      if (accept(candidate)) return true;
    }
  }

  return sound && try_base_directory();
}

}  // namespace

std::optional<platform::File> find_game_file(State& state, std::string_view name, platform::OpenMode mode) {
  std::optional<platform::File> result;
  walk_lookup(state, name, Purpose::Open, mode, [&](const Candidate& candidate) {
    if (candidate.place != Place::Archive) {
      result = platform::File::open(candidate.host_path, mode);
      return result.has_value();
    }
    // Opening an archive for writing would truncate every entry in it.
    if (mode != platform::OpenMode::Read) return false;
    result = platform::File::open(candidate.host_path, platform::OpenMode::Read);
    if (result && result->restrict_to(candidate.archive_entry.offset, candidate.archive_entry.size)) return true;
    result.reset();
    return false;
  });
  return result;
}

uint64_t file_size(State& state, std::string_view name) {
  uint64_t size = 0;
  walk_lookup(state, name, Purpose::Size, platform::OpenMode::Read, [&](const Candidate& candidate) {
    if (candidate.place == Place::Archive) {
      size = candidate.archive_entry.size;
      return true;
    }
    std::optional<uint64_t> length = platform::file_length(candidate.host_path);
    size = length.value_or(0);
    return length.has_value();
  });
  return size;
}

std::optional<std::string> file_resolve(State& state, std::string_view name) {
  std::optional<std::string> resolved;
  walk_lookup(state, name, Purpose::Resolve, platform::OpenMode::Read, [&](const Candidate& candidate) {
    switch (candidate.place) {
      case Place::Loose:
        if (!platform::is_file(candidate.host_path)) return false;
        resolved = state.base_directory + std::string(name);
        return true;
      case Place::Directory:
        if (!platform::is_file(candidate.host_path)) return false;
        resolved = candidate.directory->text == "." ? std::string(name)
                                                    : candidate.directory->text + "\\" + std::string(name);
        return true;
      case Place::Archive:
        resolved = candidate.entry->path;
        return true;
    }
    return false;
  });
  return resolved;
}

bool file_exists(State& state, std::string_view name) { return file_resolve(state, name).has_value(); }

uint64_t file_time(State& state, std::string_view name) {
  uint64_t time = 0;
  walk_lookup(state, name, Purpose::Time, platform::OpenMode::Read, [&](const Candidate& candidate) {
    if (candidate.place == Place::Archive || !platform::is_file(candidate.host_path)) return false;
    time = platform::file_time(candidate.host_path);
    return time != 0;
  });
  return time;
}

std::optional<std::string> to_host_path(const State& state, std::string_view game_path) {
  return resolve_in(state, game_path, state.working_directory, platform::OpenMode::Read);
}

std::optional<std::string> to_host_path_for_create(const State& state, std::string_view game_path) {
  return resolve_in(state, game_path, state.working_directory, platform::OpenMode::Write);
}

namespace {

// Whether a relative slashed path names a file below its starting directory:
// it has a name, and no `..` climbs above the start.
bool stays_below(std::string_view path) {
  int depth = 0;
  bool named = false;
  while (!path.empty()) {
    size_t slash = path.find('/');
    std::string_view component = path.substr(0, slash);
    path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
    if (component.empty() || component == ".") continue;
    depth += component == ".." ? -1 : 1;
    if (depth < 0) return false;
    named = depth > 0;
  }
  return named;
}

// The part of an absolute host path below directory, or nullopt when it lies
// elsewhere.
std::optional<std::string_view> below_directory(std::string_view path, std::string_view directory) {
  while (directory.size() > 1 && directory.back() == '/') directory.remove_suffix(1);
  if (!path.starts_with(directory)) return std::nullopt;
  std::string_view rest = path.substr(directory.size());
  if (directory != "/" && !rest.starts_with('/')) return std::nullopt;
  return rest;
}

// The directory a confined name is taken from (the working directory for a
// relative name), or nullopt when the name is not confined.
std::optional<std::string> confined_base(const State& state, std::string_view slashed) {
  // "C:/..." names another drive's file on the games' home platform.
  if (slashed.size() >= 2 && slashed[1] == ':') return std::nullopt;
  if (!slashed.starts_with('/')) {
    if (!stays_below(slashed)) return std::nullopt;
    return state.working_directory;
  }
  std::string host = state.encoding.to_utf8(slashed).value_or(std::string(slashed));
  for (const std::string* root : {&state.working_directory, &save_root(state)}) {
    std::optional<std::string_view> rest = below_directory(host, *root);
    if (rest && stays_below(*rest)) return *root;
  }
  return std::nullopt;
}

}  // namespace

bool is_confined_game_path(const State& state, std::string_view game_path) {
  return confined_base(state, with_slashes(state.lead_bytes, game_path)).has_value();
}

std::optional<std::string> to_confined_host_path_for_create(const State& state, std::string_view game_path) {
  std::optional<std::string> base = confined_base(state, with_slashes(state.lead_bytes, game_path));
  if (!base) return std::nullopt;
  return resolve_in(state, game_path, *base, platform::OpenMode::Write);
}

}  // namespace tavelo::resources
