#pragma once
// The search list: the places game files come from (archives `<name>.arc` and
// directory trees `<name>\`), in registration order; the first registered
// place wins every lookup. Entries are never removed, only emptied, so an
// entry keeps its position for the whole run. The records live in
// resources::State; registration and every lookup (resources/file_lookup.h)
// hold State::search_lock, because the sound streaming thread looks files up
// while the main thread may be registering.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "resources/archive.h"

namespace tavelo::resources {

// Places registered for sound data are skipped by file_size() for other names.
enum class SoundOnly { No, Yes };

enum class SearchEntryKind { Directory, Archive };

// One scanned directory. Every file found in it refers to it by index, so the
// directory's path is kept once however many files it holds.
struct ScannedDirectory {
  // The directory in the engine's own form (game code page, `\` separators),
  // relative to the working directory when it lies inside it.
  std::string text;
  std::string host_path;  // UTF-8, as spelled on disk
};

struct DirectoryFile {
  uint32_t key = 0;        // lookup key of the file's name
  uint32_t directory = 0;  // index into SearchEntry::directories
};

struct SearchEntry {
  std::string name;  // registered name (game code page), compared without case
  // Archive: the path it was opened by ("<base><name>.arc" or "<name>.arc");
  // directory: "<base><name>\" or "<name>\". Engine form.
  std::string path;
  std::string host_path;  // the archive file or the directory on disk (UTF-8)
  SearchEntryKind kind = SearchEntryKind::Directory;
  SoundOnly sound_only = SoundOnly::No;

  // Archives.
  std::array<uint8_t, kArchiveHeaderSize> header{};
  std::vector<ArchiveEntry> index;  // file order, sorted by hash

  // Directories: every file of the tree in scan order (which decides between
  // two files with one key), plus positions into it sorted by (key, position)
  // so a lookup binary-searches instead of walking the whole list.
  std::vector<DirectoryFile> files;
  std::vector<uint32_t> files_by_key;
  std::vector<ScannedDirectory> directories;
};

struct State;

// What registering a name found.
enum class Registration {
  Archive,    // an archive (also when that name is already a loaded archive)
  Directory,  // a directory tree with at least one accepted file
  Nothing,    // nothing usable; a new name then leaves no entry
  Damaged,    // an archive whose header or index does not hold together
  Stopped,    // the observer stopped the scan; the entry keeps what was found
};

// The questions a directory scan asks whoever registers. Called on the
// registering thread with the search lock held: an observer must not register
// other entries.
class ScanObserver {
 public:
  virtual ~ScanObserver() = default;
  // Two files of one registration share a lookup key. Both stay listed and
  // the one scanned first wins every lookup. False stops the scan.
  virtual bool accept_duplicate(std::string_view name, std::string_view first_directory,
                                std::string_view second_directory) = 0;
  // Called after every kFilesPerProgress accepted files, so that a window
  // stays responsive during a long scan. False stops the scan.
  virtual bool continue_scan() = 0;
  // A directory (engine form) that is one already scanned in this
  // registration — a symbolic link back up the tree, or a second link to the
  // same tree — has been skipped, with everything under it.
  virtual void skipped_visited_directory(std::string_view directory) { (void)directory; }
};

// A progress call costs about as much as scanning a hundred files on a warm
// cache; every 128 files adds about a fifth to a scan and still answers
// several times a millisecond.
inline constexpr size_t kFilesPerProgress = 128;

// Registers name: first as an archive, else as a directory tree. A known name
// that is not a loaded archive is emptied and registered again in place,
// keeping its position and its sound-only flag, so newly added files are seen.
Registration search_entry_add(State& state, std::string_view name, SoundOnly sound_only, ScanObserver& observer);

// Empties the entry of that name; it stays in the list and finds nothing until
// it is added again.
void search_entry_unload(State& state, std::string_view name);

// Sets the directory that loose-file lookups and archive opening try first
// (game code page; `\` is appended when missing).
void set_base_directory(State& state, std::string_view game_path);

}  // namespace tavelo::resources
