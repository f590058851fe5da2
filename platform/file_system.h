#pragma once
// Files and directories on the host file system, shared by both backends.
//
// The engine names files the way its games do: `\` separates directories and
// letter case does not matter. resolve_path() maps such a name onto a real path
// on a case-sensitive file system, one component at a time. Names arriving here
// are host paths in UTF-8; conversion from the game code page happens in the
// caller (resources::to_host_path).

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavelo::platform {

enum class OpenMode { Read, Write, Append };

// An open file. A file may be restricted to a window (an archive entry): reads,
// seeks and the length then see only that window, as if it were a file of its own.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens only regular files: a FIFO, device or directory is refused at once
  // (never waited on), as if it did not exist. Write truncates, Append
  // appends; both create a missing file.
  static std::optional<File> open(const std::string& host_path, OpenMode mode);

  bool is_open() const { return m_handle != nullptr; }
  // Reads up to buffer.size() bytes; returns the number read (short at the end).
  size_t read(std::span<uint8_t> buffer);
  // Reads one line of at most max_bytes bytes without its line end ("\n" or
  // "\r\n"); nullopt at the end of the file. Longer lines are split.
  std::optional<std::string> read_line(size_t max_bytes);
  bool write(std::span<const uint8_t> bytes);
  bool write(std::string_view text);
  bool seek(uint64_t offset);
  uint64_t position() const { return m_position; }
  uint64_t length() const { return m_length; }
  bool at_end() const { return m_position >= m_length; }
  // Limits the file to [offset, offset + length) of the underlying file and
  // moves to the window's start. False when the window lies outside the file.
  bool restrict_to(uint64_t offset, uint64_t length);
  bool flush_to_disk();
  void close();

 private:
  std::FILE* m_handle = nullptr;
  uint64_t m_window_start = 0;
  uint64_t m_position = 0;  // relative to the window
  uint64_t m_length = 0;    // of the window
  bool m_writable = false;
};

struct DirectoryItem {
  std::string name;  // UTF-8 as stored on disk
  bool is_directory = false;
  // Hidden items are those whose name starts with "."; a POSIX file system has
  // no system attribute, so no item is a system item.
  bool hidden = false;
};

// Maps an engine path ("data\\Title.PNG", relative or absolute, `\` or `/`) to
// an existing host path, matching each component without regard to ASCII case
// when no exact match exists. Relative names are taken from base_directory.
// nullopt when some component does not exist.
std::optional<std::string> resolve_path(std::string_view name, const std::string& base_directory);

// The same, for a path whose last component may not exist yet (files about to
// be created): the directories must exist; the last component keeps its
// spelling unless a case-insensitive match exists.
std::optional<std::string> resolve_parent_path(std::string_view name, const std::string& base_directory);

// Turns `\` into `/`.
std::string to_slashes(std::string_view name);

bool list_directory(const std::string& host_path, std::vector<DirectoryItem>& items);
bool is_directory(const std::string& host_path);

// Which file or directory a path reaches (links followed); two paths name the
// same one when their identities are equal.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  auto operator<=>(const FileIdentity&) const = default;
};
std::optional<FileIdentity> file_identity(const std::string& host_path);
// Whether a path lies on a disk that stays in the machine: false only for
// the file systems of optical discs (ISO 9660, UDF), which a game may be run
// from; true when it cannot be told.
bool on_fixed_disk(const std::string& host_path);

bool is_file(const std::string& host_path);
// A directory this process may create files in (a game installed under
// /usr/share is not one).
bool is_writable_directory(const std::string& host_path);
// Last-write time in 100 ns units since 1601-01-01 (the engine's file-time
// unit), or 0 when the file does not exist.
uint64_t file_time(const std::string& host_path);
std::optional<uint64_t> file_length(const std::string& host_path);
bool make_directories(const std::string& host_path);
bool copy_file(const std::string& from, const std::string& to);
bool remove_file(const std::string& host_path);
bool rename_file(const std::string& from, const std::string& to);
std::string current_directory();
bool change_directory(const std::string& host_path);
std::string executable_directory();

// Reads a whole file; nullopt when it cannot be opened or read.
std::optional<std::vector<uint8_t>> read_file(const std::string& host_path);

// Replaces a file so that a crash at any moment leaves either the old or the
// new content: writes a temporary file beside it, syncs it, renames it over
// the old one and syncs the directory. The temporary file has a short hidden
// name carrying the process id (".tvtmp-<pid>-<n>"), whatever the length of
// the target's name.
bool write_file_atomically(const std::string& host_path, std::span<const uint8_t> bytes);

// Removes the temporary files that atomic writes of processes no longer
// running left in directory (a crash or kill between write and rename),
// including the "<name>.tmp<pid>" files of earlier versions. Files of running
// processes stay. Returns how many were removed.
size_t remove_stale_temporary_files(const std::string& directory);

// A file name of at most max_bytes bytes: name itself when it fits, else its
// beginning (cut on a UTF-8 character boundary), "~" and 16 hex digits of a
// hash of the whole name. max_bytes must leave room for the 17-byte suffix.
std::string shortened_file_name(std::string_view name, size_t max_bytes);

// The longest file name (one path component) the file systems take, in bytes.
inline constexpr size_t kMaxFileNameBytes = 255;

}  // namespace tavelo::platform

namespace tavelo::platform {

struct LocalTime;
// The file's last write in the local time zone; false when it does not exist.
bool file_local_time(const std::string& host_path, LocalTime& time);

}  // namespace tavelo::platform
