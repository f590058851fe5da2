#pragma once
// A small WebSocket client for tests, written from RFC 6455 on plain
// sockets so that it can also misbehave: send garbage, send huge frames, or
// stop reading. Blocking calls with a time limit; failures return nullopt or
// false rather than failing the test themselves.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavelo::testing {

class WebSocketClient {
 public:
  WebSocketClient() = default;
  ~WebSocketClient();
  WebSocketClient(const WebSocketClient&) = delete;
  WebSocketClient& operator=(const WebSocketClient&) = delete;

  // Connects to 127.0.0.1:port; with handshake, also completes the opening
  // handshake and checks the server's accept key.
  bool connect(uint16_t port, bool handshake = true);
  // Writes bytes as they are (no framing).
  bool send_raw(std::string_view bytes);
  // One masked frame with the given opcode (1 text, 2 binary) and payload.
  bool send_frame(uint8_t opcode, std::string_view payload);
  // The next text frame's payload; nullopt on a close, an error or timeout.
  std::optional<std::string> receive_text(int timeout_ms = 5000);
  // Whether the server closed the connection (or it failed) within the time.
  bool closed_by_server(int timeout_ms = 5000);
  // Shrinks the socket's receive buffer (before connect) so that a client
  // that never reads makes the server's writes back up soon.
  void set_small_receive_buffer() { m_small_buffer = true; }
  void close();

 private:
  bool read_exact(std::string& out, size_t count, int timeout_ms);
  int m_socket = -1;
  bool m_small_buffer = false;
  std::string m_buffered;  // bytes read past the handshake
};

}  // namespace tavelo::testing
