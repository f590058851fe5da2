#pragma once
// The single-instance guard: an advisory lock on a file named after the
// window caption, so two runs of the same game cannot overlap while games with
// other captions (or runs with other settings directories) can.

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
  // are replaced). The lock is released when the object goes or the process ends.
  Outcome acquire(const std::string& directory, const std::string& name);

 private:
  int m_fd = -1;
};

}  // namespace tavelo::platform
