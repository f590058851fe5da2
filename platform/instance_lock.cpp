// Advisory instance lock over flock(2).

#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/file_system.h"

namespace tavelo::platform {

InstanceLock::~InstanceLock() {
  if (m_fd >= 0) ::close(m_fd);
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
  if (this != &other) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = std::exchange(other.m_fd, -1);
  }
  return *this;
}

namespace {

// A file name made of the caption: separators and control characters become '_'.
std::string lock_file_name(const std::string& name) {
  std::string safe(name.size(), '_');
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c != '/' && (unsigned char)c >= 0x20) safe[i] = c;
  }
  if (safe.empty() || safe == "." || safe == "..") return std::string(1, '_');
  return safe;
}

}  // namespace

InstanceLock::Outcome InstanceLock::acquire(const std::string& directory, const std::string& name) {
  std::string safe = lock_file_name(name);
  if (!make_directories(directory)) return Outcome::Failed;
  std::string path = directory;
  path.append("/").append(safe).append(".lock");
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return Outcome::Failed;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK ? Outcome::AlreadyRunning : Outcome::Failed;
  }
  if (m_fd >= 0) ::close(m_fd);
  m_fd = fd;
  return Outcome::Acquired;
}

}  // namespace tavelo::platform
