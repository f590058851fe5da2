#pragma once
// Advisory locks over flock(2). InstanceLock is the single-instance guard: a
// lock on a file named after the window caption, so two runs of the same game
// cannot overlap while games with other captions (or runs with other settings
// directories) can. DirectoryLock serialises the writers of the files in one
// directory (the settings store), across processes.

#include <optional>
#include <string>

namespace tavelo::platform {

class InstanceLock {
 public:
  enum class Outcome { Acquired, AlreadyRunning, Failed };

  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(InstanceLock&& other) noexcept;
  InstanceLock& operator=(InstanceLock&& other) noexcept;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Locks directory/<name>.lock (name: UTF-8; '/' and control characters
  // are replaced, and a name too long for the file system is shortened with a
  // hash of the whole name). The lock is released when the object goes or the
  // process ends.
  Outcome acquire(const std::string& directory, const std::string& name);

  // Why the last acquire failed (UTF-8: the path and the system's reason);
  // empty after success.
  const std::string& problem() const { return m_problem; }

 private:
  int m_fd = -1;
  std::string m_problem;
};

// An exclusive lock on a directory, held while the object lives. Waits while
// another process holds it, so hold it only for a short read-modify-write.
class DirectoryLock {
 public:
  // nullopt when the directory cannot be opened or locked.
  static std::optional<DirectoryLock> acquire(const std::string& directory);

  ~DirectoryLock();
  DirectoryLock(DirectoryLock&& other) noexcept;
  DirectoryLock& operator=(DirectoryLock&& other) noexcept;
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;

 private:
  explicit DirectoryLock(int fd) : m_fd(fd) {}
  int m_fd = -1;
};

}  // namespace tavelo::platform
