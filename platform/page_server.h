#pragma once
// A WebSocket server on the loopback interface that hands every message it
// is given to each connected client as one text frame: how the text of each
// page reaches text-hooking pages in a browser (text/reading.h decides what
// is sent). libwebsockets does the protocol; the server runs its own thread,
// so the frame loop only queues text (send never blocks, whatever the
// clients do).
//
// Clients only listen. One that sends more than max_received_bytes in all
// (garbage, huge frames) is dropped, and so is one that reads so slowly that
// more than max_queued_bytes wait for it; handshakes that are not HTTP
// close at once. Only loopback addresses are ever bound: a page of the
// player's text is nobody else's business.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tavelo::platform {

struct PageServerLimits {
  size_t max_received_bytes = 64 * 1024;
  size_t max_queued_bytes = 1024 * 1024;
};

// Whether a numeric address is a loopback one (127.0.0.0/8 or ::1).
bool is_loopback_address(std::string_view address);

class PageServer {
 public:
  struct Start;
  // Binds address:port (port 0: any free port) and starts serving. A
  // non-loopback address is refused before any socket is made.
  static Start start(std::string_view address, uint16_t port, PageServerLimits limits = {});
  ~PageServer();
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  // Queues text (UTF-8) for every client connected now.
  void send(std::string_view text);
  uint16_t port() const;
  size_t client_count() const;
  // Clients dropped for sending too much or reading too slowly.
  uint64_t dropped_clients() const;

  struct Shared;

 private:
  explicit PageServer(std::unique_ptr<Shared> shared);
  std::unique_ptr<Shared> m_shared;
};

struct PageServer::Start {
  std::unique_ptr<PageServer> server;
  std::string problem;  // why there is none (UTF-8)
};

}  // namespace tavelo::platform
