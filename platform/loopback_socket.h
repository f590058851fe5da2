#pragma once
// TCP sockets for the external script debugger's link. The engine listens on
// 127.0.0.1 only (a connection can come from this machine alone; accept()
// also refuses any peer that is not a loopback address), and the debugger
// tool connects to it. Every socket is non-blocking: the engine polls it from
// the main thread between slices and while it waits for the debugger, so a
// silent or misbehaving debugger never stops the window from answering.
// Main thread only; the engine owns its sockets through library::Debugger.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavelo::platform {

class LoopbackSocket {
 public:
  LoopbackSocket() = default;
  ~LoopbackSocket();
  LoopbackSocket(LoopbackSocket&& other) noexcept;
  LoopbackSocket& operator=(LoopbackSocket&& other) noexcept;
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;

  // Listens on 127.0.0.1:port (port 0: any free port; local_port() tells
  // which). problem says why it failed.
  static std::optional<LoopbackSocket> listen(uint16_t port, std::string* problem = nullptr);
  // Connects to host:port (a name or a numeric address), waiting at most
  // timeout_ms.
  static std::optional<LoopbackSocket> connect(std::string_view host, uint16_t port, uint32_t timeout_ms,
                                               std::string* problem = nullptr);

  bool is_open() const { return m_fd >= 0; }
  void close();
  uint16_t local_port() const;
  // The address the socket is bound to, e.g. "127.0.0.1".
  std::string local_address() const;

  // A listening socket: the next waiting connection, if any. Connections
  // from anywhere but a loopback address are closed at once.
  std::optional<LoopbackSocket> accept();

  enum class ReadStatus { Data, Nothing, Closed };
  // Appends the bytes available now (at most max_bytes) to out. Closed: the
  // peer went away or the connection failed.
  ReadStatus read_some(std::vector<uint8_t>& out, size_t max_bytes = 65536);
  // Sends all bytes, waiting at most timeout_ms for a peer that does not
  // read; false when the connection failed or the peer kept its window shut.
  bool write_all(std::span<const uint8_t> bytes, uint32_t timeout_ms = 2000);
  // Waits at most timeout_ms (real time) until the socket can be read (or a
  // connection can be accepted); true when it can.
  bool wait_readable(uint32_t timeout_ms) const;

 private:
  explicit LoopbackSocket(int fd) : m_fd(fd) {}
  int m_fd = -1;
};

}  // namespace tavelo::platform
