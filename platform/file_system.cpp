// Host file system access over POSIX and stdio.

#include "platform/file_system.h"

#include <ctime>

#include "platform/platform.h"
#if defined(__EMSCRIPTEN__)
#include "platform/web/web_storage.h"
#endif

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace tavelo::platform {
namespace {

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

bool exists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

std::string join(const std::string& directory, std::string_view name) {
  if (directory.empty()) return std::string(name);
  if (directory.back() == '/') return directory + std::string(name);
  return directory + "/" + std::string(name);
}

// Finds the entry of directory whose name matches component without regard to
// case; the exact spelling wins, then the first match in byte order.
std::optional<std::string> match_component(const std::string& directory, std::string_view component) {
  std::string exact = join(directory, component);
  if (exists(exact)) return exact;
  DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
  if (!dir) return std::nullopt;
  std::optional<std::string> best;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view name(entry->d_name);
    if (!equal_ignoring_ascii_case(name, component)) continue;
    if (!best || name < std::string_view(*best)) best = std::string(name);
  }
  ::closedir(dir);
  if (!best) return std::nullopt;
  return join(directory, *best);
}

// Splits a slashed path into its starting directory and its components.
void split_components(std::string_view path, const std::string& base_directory, std::string& start,
                      std::vector<std::string_view>& components) {
  if (!path.empty() && path.front() == '/') {
    start = "/";
    path.remove_prefix(1);
  } else {
    start = base_directory;
  }
  while (!path.empty()) {
    size_t slash = path.find('/');
    std::string_view component = path.substr(0, slash);
    if (!component.empty() && component != ".") components.push_back(component);
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
}

std::optional<std::string> resolve_components(std::string_view name, const std::string& base_directory,
                                              bool last_may_be_missing) {
  std::string slashed = to_slashes(name);
  std::string start;
  std::vector<std::string_view> components;
  split_components(slashed, base_directory, start, components);
  if (components.empty()) return start.empty() ? std::string(".") : start;

  std::string direct = start;
  for (std::string_view component : components) direct = join(direct, component);
  if (exists(direct)) return direct;

  std::string current = start;
  for (size_t i = 0; i < components.size(); ++i) {
    std::string_view component = components[i];
    if (component == "..") {
      current = join(current, component);
      continue;
    }
    std::optional<std::string> next = match_component(current, component);
    if (!next) {
      if (last_may_be_missing && i + 1 == components.size()) return join(current, component);
      return std::nullopt;
    }
    current = std::move(*next);
  }
  return current;
}

uint64_t to_file_time(const struct timespec& time) {
  // 100 ns units between 1601-01-01 and 1970-01-01.
  constexpr uint64_t kEpochDifference = 116444736000000000ULL;
  return kEpochDifference + uint64_t(time.tv_sec) * 10000000ULL + uint64_t(time.tv_nsec) / 100;
}

bool sync_directory_of(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string directory = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

File::~File() { close(); }

File::File(File&& other) noexcept { *this = std::move(other); }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    m_handle = std::exchange(other.m_handle, nullptr);
    m_window_start = other.m_window_start;
    m_position = other.m_position;
    m_length = other.m_length;
    m_writable = other.m_writable;
  }
  return *this;
}

std::optional<File> File::open(const std::string& host_path, OpenMode mode) {
  // Without O_NONBLOCK, opening a FIFO waits for its other end for ever; with
  // it the open returns at once and the check below refuses what is not a
  // regular file (FIFOs, devices, sockets, directories).
  int flags = O_CLOEXEC | O_NONBLOCK;
  if (mode == OpenMode::Read) flags |= O_RDONLY;
  else flags |= O_WRONLY | O_CREAT | (mode == OpenMode::Append ? O_APPEND : 0);
  int fd = ::open(host_path.c_str(), flags, 0666);
  if (fd < 0) return std::nullopt;
  struct stat info;
  // Truncation waits for the check, so that opening a device for writing
  // never truncates it.
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || (mode == OpenMode::Write && ::ftruncate(fd, 0) != 0) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  std::FILE* handle = ::fdopen(fd, mode == OpenMode::Read ? "rb" : (mode == OpenMode::Write ? "wb" : "ab"));
  if (!handle) {
    ::close(fd);
    return std::nullopt;
  }
  File file;
  file.m_handle = handle;
  file.m_length = mode == OpenMode::Write ? 0 : uint64_t(info.st_size);
  file.m_position = mode == OpenMode::Append ? file.m_length : 0;
  file.m_writable = mode != OpenMode::Read;
  return file;
}

size_t File::read(std::span<uint8_t> buffer) {
  if (!m_handle || m_position >= m_length || buffer.empty()) return 0;
  size_t wanted = size_t(std::min<uint64_t>(buffer.size(), m_length - m_position));
  size_t got = std::fread(buffer.data(), 1, wanted, m_handle);
  m_position += got;
  return got;
}

std::optional<std::string> File::read_line(size_t max_bytes) {
  if (!m_handle || m_position >= m_length) return std::nullopt;
  std::string line;
  while (line.size() < max_bytes && m_position < m_length) {
    int c = std::fgetc(m_handle);
    if (c == EOF) break;
    ++m_position;
    if (c == '\n') break;
    line.push_back(char(c));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool File::write(std::span<const uint8_t> bytes) {
  if (!m_handle || !m_writable) return false;
  if (bytes.empty()) return true;
  size_t written = std::fwrite(bytes.data(), 1, bytes.size(), m_handle);
  m_position += written;
  m_length = std::max(m_length, m_position);
  return written == bytes.size();
}

bool File::write(std::string_view text) {
  return write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

bool File::seek(uint64_t offset) {
  if (!m_handle || offset > m_length) return false;
  if (::fseeko(m_handle, off_t(m_window_start + offset), SEEK_SET) != 0) return false;
  m_position = offset;
  return true;
}

bool File::restrict_to(uint64_t offset, uint64_t length) {
  if (!m_handle) return false;
  uint64_t whole = m_window_start + m_length;
  uint64_t absolute = m_window_start + offset;
  if (absolute > whole || length > whole - absolute) return false;
  m_window_start = absolute;
  m_length = length;
  m_position = 0;
  return ::fseeko(m_handle, off_t(m_window_start), SEEK_SET) == 0;
}

bool File::flush_to_disk() {
  if (!m_handle) return false;
  if (std::fflush(m_handle) != 0) return false;
  return ::fsync(::fileno(m_handle)) == 0;
}

void File::close() {
  if (m_handle) std::fclose(m_handle);
  m_handle = nullptr;
  m_window_start = m_position = m_length = 0;
}

std::string to_slashes(std::string_view name) {
  std::string result(name);
  std::replace(result.begin(), result.end(), '\\', '/');
  return result;
}

std::optional<std::string> resolve_path(std::string_view name, const std::string& base_directory) {
  return resolve_components(name, base_directory, false);
}

std::optional<std::string> resolve_parent_path(std::string_view name, const std::string& base_directory) {
  return resolve_components(name, base_directory, true);
}

bool list_directory(const std::string& host_path, std::vector<DirectoryItem>& items) {
  DIR* dir = ::opendir(host_path.c_str());
  if (!dir) return false;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view name(entry->d_name);
    if (name == "." || name == "..") continue;
    DirectoryItem item;
    item.name = std::string(name);
    item.hidden = name.front() == '.';
    if (entry->d_type == DT_DIR) {
      item.is_directory = true;
    } else if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      item.is_directory = is_directory(join(host_path, name));
    }
    items.push_back(std::move(item));
  }
  ::closedir(dir);
  // Directory order is whatever the file system returns; sorting makes scans
  // (and which of two duplicate names wins) the same on every machine.
  std::sort(items.begin(), items.end(), [](const DirectoryItem& a, const DirectoryItem& b) { return a.name < b.name; });
  return true;
}

bool is_directory(const std::string& host_path) {
  struct stat info;
  return ::stat(host_path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool is_file(const std::string& host_path) {
  struct stat info;
  return ::stat(host_path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool is_writable_directory(const std::string& host_path) {
  return is_directory(host_path) && ::access(host_path.c_str(), W_OK | X_OK) == 0;
}

uint64_t file_time(const std::string& host_path) {
  struct stat info;
  if (::stat(host_path.c_str(), &info) != 0) return 0;
  return to_file_time(info.st_mtim);
}

std::optional<uint64_t> file_length(const std::string& host_path) {
  struct stat info;
  if (::stat(host_path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return uint64_t(info.st_size);
}

bool make_directories(const std::string& host_path) {
  if (host_path.empty()) return false;
  std::string partial;
  size_t position = 0;
  while (position != std::string::npos) {
    position = host_path.find('/', position + 1);
    partial = host_path.substr(0, position);
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return is_directory(host_path);
}

bool copy_file(const std::string& from, const std::string& to) {
  std::optional<std::vector<uint8_t>> bytes = read_file(from);
  if (!bytes) return false;
  return write_file_atomically(to, *bytes);
}

bool remove_file(const std::string& host_path) { return ::unlink(host_path.c_str()) == 0; }

bool rename_file(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

std::string current_directory() {
  char buffer[PATH_MAX];
  if (!::getcwd(buffer, sizeof buffer)) return ".";
  return buffer;
}

bool change_directory(const std::string& host_path) { return ::chdir(host_path.c_str()) == 0; }

std::string executable_directory() {
  char buffer[PATH_MAX];
  ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return current_directory();
  std::string path(buffer, size_t(length));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? current_directory() : path.substr(0, slash);
}

std::optional<std::vector<uint8_t>> read_file(const std::string& host_path) {
  std::optional<File> file = File::open(host_path, OpenMode::Read);
  if (!file) return std::nullopt;
  if (file->length() == 0) {
    // Files such as /proc/meminfo report no size; read them to their end.
    std::FILE* stream = std::fopen(host_path.c_str(), "rb");
    if (!stream) return std::nullopt;
    std::vector<uint8_t> bytes;
    uint8_t chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    std::fclose(stream);
    return bytes;
  }
  std::vector<uint8_t> bytes(size_t(file->length()));
  if (file->read(bytes) != bytes.size()) return std::nullopt;
  return bytes;
}

namespace {

// Temporary files of atomic writes: ".tvtmp-<process id>-<attempt>", short
// whatever the target's name, hidden from directory scans, and carrying the
// process id so that start-up can tell a crashed writer's file from one that
// another running engine is still writing.
constexpr std::string_view kTemporaryPrefix = ".tvtmp-";
constexpr unsigned kTemporaryAttempts = 100;

std::string temporary_name(long process, unsigned attempt) {
  return std::string(kTemporaryPrefix) + std::to_string(process) + "-" + std::to_string(attempt);
}

std::string directory_part(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool all_digits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A process id in decimal; nullopt when not all digits, too long or 0.
std::optional<long> parse_process_id(std::string_view digits) {
  if (!all_digits(digits) || digits.size() > 9) return std::nullopt;
  long value = 0;
  for (char c : digits) value = value * 10 + (c - '0');
  return value > 0 ? std::optional<long>(value) : std::nullopt;
}

// The writer's process id from a temporary name of ours: the current form,
// and the "<target>.tmp<process id>" of earlier versions.
std::optional<long> temporary_file_owner(std::string_view name) {
  if (name.starts_with(kTemporaryPrefix)) {
    std::string_view rest = name.substr(kTemporaryPrefix.size());
    size_t dash = rest.find('-');
    if (dash == std::string_view::npos || !all_digits(rest.substr(dash + 1))) return std::nullopt;
    return parse_process_id(rest.substr(0, dash));
  }
  size_t marker = name.rfind(".tmp");
  if (marker == std::string_view::npos || marker == 0) return std::nullopt;
  return parse_process_id(name.substr(marker + 4));
}

bool process_is_running(long process) {
  // EPERM: the process exists but belongs to someone else.
  return ::kill(pid_t(process), 0) == 0 || errno == EPERM;
}

bool write_all(int fd, std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes = bytes.subspan(size_t(written));
  }
  return true;
}

}  // namespace

bool write_file_atomically(const std::string& host_path, std::span<const uint8_t> bytes) {
  const std::string directory = directory_part(host_path);
  std::string temporary;
  int fd = -1;
  // O_EXCL never reuses a name: a leftover of a crashed process that had our
  // id (or a write of ours in progress) makes the next attempt take the next name.
  for (unsigned attempt = 0; attempt < kTemporaryAttempts && fd < 0; ++attempt) {
    temporary = join(directory, temporary_name(long(::getpid()), attempt));
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  bool written = write_all(fd, bytes) && ::fsync(fd) == 0;
  written = ::close(fd) == 0 && written;
  if (!written || !rename_file(temporary, host_path)) {
    remove_file(temporary);
    return false;
  }
  sync_directory_of(host_path);
#if defined(__EMSCRIPTEN__)
  keep_written_files();
#endif
  return true;
}

size_t remove_stale_temporary_files(const std::string& directory) {
  DIR* dir = ::opendir(directory.c_str());
  if (!dir) return 0;
  std::vector<std::string> stale;
  while (dirent* entry = ::readdir(dir)) {
    std::optional<long> owner = temporary_file_owner(entry->d_name);
    if (!owner || *owner == long(::getpid()) || process_is_running(*owner)) continue;
    std::string path = join(directory, entry->d_name);
    struct stat info;
    if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) stale.push_back(std::move(path));
  }
  ::closedir(dir);
  size_t removed = 0;
  for (const std::string& path : stale) removed += remove_file(path) ? 1 : 0;
  return removed;
}

std::optional<FileIdentity> file_identity(const std::string& host_path) {
  struct stat info;
  if (::stat(host_path.c_str(), &info) != 0) return std::nullopt;
  return FileIdentity{uint64_t(info.st_dev), uint64_t(info.st_ino)};
}

bool on_fixed_disk(const std::string& host_path) {
  constexpr unsigned long kIso9660 = 0x9660;
  constexpr unsigned long kUdf = 0x15013346;
  struct statfs info;
  if (::statfs(host_path.c_str(), &info) != 0) return true;
  const auto type = static_cast<unsigned long>(info.f_type);
  return type != kIso9660 && type != kUdf;
}

std::string shortened_file_name(std::string_view name, size_t max_bytes) {
  if (name.size() <= max_bytes) return std::string(name);
  // FNV-1a over the whole name: two long names that share their beginning
  // still get different files.
  uint64_t hash = 14695981039346656037ull;
  for (char c : name) hash = (hash ^ uint8_t(c)) * 1099511628211ull;
  constexpr std::string_view kDigits = "0123456789abcdef";
  std::string suffix = "~";
  for (int shift = 60; shift >= 0; shift -= 4) suffix += kDigits[(hash >> shift) & 15];
  size_t keep = max_bytes > suffix.size() ? max_bytes - suffix.size() : 0;
  // Never cut a UTF-8 sequence: back up over continuation bytes.
  while (keep > 0 && (uint8_t(name[keep]) & 0xC0) == 0x80) --keep;
  return std::string(name.substr(0, keep)) + suffix;
}

}  // namespace tavelo::platform

namespace tavelo::platform {

bool file_local_time(const std::string& host_path, LocalTime& time) {
  struct stat info {};
  if (::stat(host_path.c_str(), &info) != 0) return false;
  std::tm parts{};
  std::time_t when = info.st_mtime;
  localtime_r(&when, &parts);
  time = {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
  return true;
}

}  // namespace tavelo::platform
