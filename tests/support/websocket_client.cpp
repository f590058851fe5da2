#include "tests/support/websocket_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace tavelo::testing {
namespace {

// The key and the accept value of RFC 6455's own example (section 1.3).
constexpr std::string_view kKey = "dGhlIHNhbXBsZSBub25jZQ==";
constexpr std::string_view kAccept = "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=";

}  // namespace

WebSocketClient::~WebSocketClient() { close(); }

void WebSocketClient::close() {
  if (m_socket >= 0) ::close(m_socket);
  m_socket = -1;
  m_buffered.clear();
}

bool WebSocketClient::connect(uint16_t port, bool handshake) {
  close();
  m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
  if (m_socket < 0) return false;
  if (m_small_buffer) {
    int size = 4096;
    setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
  if (!handshake) return true;
  const std::string request = "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                              "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: " +
                              std::string(kKey) + "\r\nSec-WebSocket-Version: 13\r\n\r\n";
  if (!send_raw(request)) return false;
  std::string response;
  while (response.find("\r\n\r\n") == std::string::npos) {
    std::string byte;
    if (!read_exact(byte, 1, 5000) || response.size() > 8192) return false;
    response += byte;
  }
  return response.rfind("HTTP/1.1 101", 0) == 0 && response.find(kAccept) != std::string::npos;
}

bool WebSocketClient::send_raw(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(m_socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes.remove_prefix(size_t(sent));
  }
  return true;
}

bool WebSocketClient::send_frame(uint8_t opcode, std::string_view payload) {
  std::string frame;
  frame += char(0x80 | opcode);  // FIN
  if (payload.size() < 126) {
    frame += char(0x80 | payload.size());
  } else if (payload.size() <= 0xFFFF) {
    frame += char(0x80 | 126);
    frame += char(payload.size() >> 8);
    frame += char(payload.size() & 0xFF);
  } else {
    frame += char(0x80 | 127);
    for (int shift = 56; shift >= 0; shift -= 8) frame += char((uint64_t(payload.size()) >> shift) & 0xFF);
  }
  const char mask[4] = {0x12, 0x34, 0x56, 0x78};
  frame.append(mask, 4);
  for (size_t i = 0; i < payload.size(); ++i) frame += char(payload[i] ^ mask[i % 4]);
  return send_raw(frame);
}

bool WebSocketClient::read_exact(std::string& out, size_t count, int timeout_ms) {
  out.clear();
  const size_t from_buffer = std::min(count, m_buffered.size());
  out = m_buffered.substr(0, from_buffer);
  m_buffered.erase(0, from_buffer);
  while (out.size() < count) {
    pollfd waiting{m_socket, POLLIN, 0};
    if (::poll(&waiting, 1, timeout_ms) <= 0) return false;
    char chunk[4096];
    const ssize_t got = ::recv(m_socket, chunk, std::min(sizeof chunk, count - out.size()), 0);
    if (got <= 0) return false;
    out.append(chunk, size_t(got));
  }
  return true;
}

std::optional<std::string> WebSocketClient::receive_text(int timeout_ms) {
  for (;;) {
    std::string header;
    if (!read_exact(header, 2, timeout_ms)) return std::nullopt;
    const uint8_t opcode = uint8_t(header[0]) & 0x0F;
    uint64_t length = uint8_t(header[1]) & 0x7F;
    const bool masked = (uint8_t(header[1]) & 0x80) != 0;
    if (length >= 126) {
      std::string extended;
      if (!read_exact(extended, length == 126 ? 2 : 8, timeout_ms)) return std::nullopt;
      length = 0;
      for (char c : extended) length = length << 8 | uint8_t(c);
    }
    std::string mask;
    if (masked && !read_exact(mask, 4, timeout_ms)) return std::nullopt;  // servers never mask
    std::string payload;
    if (length > (1u << 24) || !read_exact(payload, size_t(length), timeout_ms)) return std::nullopt;
    if (opcode == 1) return payload;
    if (opcode == 8) return std::nullopt;
    // Pings, pongs and the rest: wait for the next frame.
  }
}

bool WebSocketClient::closed_by_server(int timeout_ms) {
  for (;;) {
    pollfd waiting{m_socket, POLLIN, 0};
    if (::poll(&waiting, 1, timeout_ms) <= 0) return false;
    char chunk[4096];
    const ssize_t got = ::recv(m_socket, chunk, sizeof chunk, 0);
    if (got <= 0) return true;
  }
}

}  // namespace tavelo::testing
