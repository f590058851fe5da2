// Advisory locks over flock(2).

#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/file_system.h"

namespace tavelo::platform {

InstanceLock::~InstanceLock() {
  if (m_fd >= 0) ::close(m_fd);
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_problem(std::move(other.m_problem)) {}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
  if (this != &other) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = std::exchange(other.m_fd, -1);
    m_problem = std::move(other.m_problem);
  }
  return *this;
}

namespace {

constexpr std::string_view kLockSuffix = ".lock";

// A file name made of the caption: separators and control characters become
// '_'; a caption too long for one file name keeps its beginning and a hash.
std::string lock_file_name(const std::string& name) {
  std::string safe(name.size(), '_');
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c != '/' && (unsigned char)c >= 0x20) safe[i] = c;
  }
  if (safe.empty() || safe == "." || safe == "..") safe = "_";
  return shortened_file_name(safe, kMaxFileNameBytes - kLockSuffix.size()) + std::string(kLockSuffix);
}

std::string describe_failure(const std::string& path, int error) { return path + ": " + std::strerror(error); }

}  // namespace

InstanceLock::Outcome InstanceLock::acquire(const std::string& directory, const std::string& name) {
  m_problem.clear();
  errno = 0;
  if (!make_directories(directory)) {
    // EEXIST (or nothing) means the path exists as something else.
    int error = errno == 0 || errno == EEXIST ? ENOTDIR : errno;
    m_problem = describe_failure(directory, error);
    return Outcome::Failed;
  }
  std::string path = directory;
  path.append("/").append(lock_file_name(name));
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) {
    m_problem = describe_failure(path, errno);
    return Outcome::Failed;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return Outcome::AlreadyRunning;
    m_problem = describe_failure(path, error);
    return Outcome::Failed;
  }
  if (m_fd >= 0) ::close(m_fd);
  m_fd = fd;
  return Outcome::Acquired;
}

std::optional<DirectoryLock> DirectoryLock::acquire(const std::string& directory) {
  int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  int result;
  do {
    result = ::flock(fd, LOCK_EX);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    ::close(fd);
    return std::nullopt;
  }
  return DirectoryLock(fd);
}

DirectoryLock::~DirectoryLock() {
  if (m_fd >= 0) ::close(m_fd);
}

DirectoryLock::DirectoryLock(DirectoryLock&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

DirectoryLock& DirectoryLock::operator=(DirectoryLock&& other) noexcept {
  if (this != &other) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = std::exchange(other.m_fd, -1);
  }
  return *this;
}

}  // namespace tavelo::platform
