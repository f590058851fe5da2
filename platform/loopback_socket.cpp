// Non-blocking TCP sockets on the loopback interface.

#include "platform/loopback_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavelo::platform {
namespace {

void set_problem(std::string* problem, std::string_view what) {
  if (problem) *problem = std::string(what) + ": " + std::strerror(errno);
}

// The debugger's records are small; sending each at once keeps stepping snappy.
void disable_delay(int fd) {
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool is_loopback(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    return (ntohl(v4.sin_addr.s_addr) >> 24) == 127;
  }
  if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    if (IN6_IS_ADDR_LOOPBACK(&v6.sin6_addr)) return true;
    return IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr) && v6.sin6_addr.s6_addr[12] == 127;
  }
  return false;
}

bool wait_for(int fd, short events, uint32_t timeout_ms) {
  pollfd entry{fd, events, 0};
  int ready = 0;
  do {
    ready = ::poll(&entry, 1, int(timeout_ms));
  } while (ready < 0 && errno == EINTR);
  return ready > 0;
}

}  // namespace

LoopbackSocket::~LoopbackSocket() { close(); }

LoopbackSocket::LoopbackSocket(LoopbackSocket&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }

LoopbackSocket& LoopbackSocket::operator=(LoopbackSocket&& other) noexcept {
  if (this != &other) {
    close();
    m_fd = other.m_fd;
    other.m_fd = -1;
  }
  return *this;
}

void LoopbackSocket::close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

std::optional<LoopbackSocket> LoopbackSocket::listen(uint16_t port, std::string* problem) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    set_problem(problem, "socket");
    return std::nullopt;
  }
  LoopbackSocket socket(fd);
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    set_problem(problem, "bind 127.0.0.1:" + std::to_string(port));
    return std::nullopt;
  }
  if (::listen(fd, 4) != 0) {
    set_problem(problem, "listen");
    return std::nullopt;
  }
  return socket;
}

std::optional<LoopbackSocket> LoopbackSocket::connect(std::string_view host, uint16_t port, uint32_t timeout_ms,
                                                      std::string* problem) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::string host_text(host);
  std::string port_text = std::to_string(port);
  if (int error = ::getaddrinfo(host_text.c_str(), port_text.c_str(), &hints, &found); error != 0) {
    if (problem) *problem = host_text + ": " + gai_strerror(error);
    return std::nullopt;
  }
  std::optional<LoopbackSocket> connected;
  for (addrinfo* entry = found; entry && !connected; entry = entry->ai_next) {
    int fd = ::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, entry->ai_protocol);
    if (fd < 0) continue;
    LoopbackSocket socket(fd);
    if (::connect(fd, entry->ai_addr, entry->ai_addrlen) != 0) {
      if (errno != EINPROGRESS || !wait_for(fd, POLLOUT, timeout_ms)) {
        set_problem(problem, "connect " + host_text + ":" + port_text);
        continue;
      }
      int error = 0;
      socklen_t size = sizeof error;
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
      if (error != 0) {
        errno = error;
        set_problem(problem, "connect " + host_text + ":" + port_text);
        continue;
      }
    }
    disable_delay(fd);
    connected = std::move(socket);
  }
  ::freeaddrinfo(found);
  return connected;
}

uint16_t LoopbackSocket::local_port() const {
  sockaddr_storage address{};
  socklen_t size = sizeof address;
  if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) return 0;
  if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
  if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
  return 0;
}

std::string LoopbackSocket::local_address() const {
  sockaddr_storage address{};
  socklen_t size = sizeof address;
  if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) return {};
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text, sizeof text);
  } else if (address.ss_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text, sizeof text);
  }
  return text;
}

std::optional<LoopbackSocket> LoopbackSocket::accept() {
  for (;;) {
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    int fd = ::accept4(m_fd, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return std::nullopt;
    LoopbackSocket socket(fd);
    if (!is_loopback(peer)) continue;  // closed by the destructor
    disable_delay(fd);
    return socket;
  }
}

LoopbackSocket::ReadStatus LoopbackSocket::read_some(std::vector<uint8_t>& out, size_t max_bytes) {
  if (m_fd < 0) return ReadStatus::Closed;
  size_t old_size = out.size();
  out.resize(old_size + max_bytes);
  ssize_t got = 0;
  do {
    got = ::recv(m_fd, out.data() + old_size, max_bytes, 0);
  } while (got < 0 && errno == EINTR);
  if (got > 0) {
    out.resize(old_size + size_t(got));
    return ReadStatus::Data;
  }
  out.resize(old_size);
  if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return ReadStatus::Nothing;
  return ReadStatus::Closed;
}

bool LoopbackSocket::write_all(std::span<const uint8_t> bytes, uint32_t timeout_ms) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    if (m_fd < 0) return false;
    ssize_t done = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (done > 0) {
      sent += size_t(done);
      continue;
    }
    if (done < 0 && errno == EINTR) continue;
    if (done < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && wait_for(m_fd, POLLOUT, timeout_ms)) continue;
    return false;
  }
  return true;
}

bool LoopbackSocket::wait_readable(uint32_t timeout_ms) const {
  if (m_fd < 0) return false;
  return wait_for(m_fd, POLLIN, timeout_ms);
}

}  // namespace tavelo::platform
