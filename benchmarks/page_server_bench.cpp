// What serving page text to learners' tools costs the frame loop: the loop
// only calls PageServer::send once per finished page, so its time per call
// is the loop's added time per cycle. Measured with no client, with a client
// that reads everything, and with a stalled client that connected and never
// reads (kept connected by a queue limit larger than the run, so every call
// meets it; with the default limit it would be dropped after 1 MiB).
//
//   build/bin/page_server_bench

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/page_server.h"

namespace {

using tavelo::platform::PageServer;
using tavelo::platform::PageServerLimits;

enum Mode { kNoClient, kReadingClient, kStalledClient };

// A client that completes the handshake and then either reads everything
// on a thread of its own or never reads again.
struct Client {
  int socket = -1;
  std::atomic<bool> stop{false};
  std::thread reader;

  bool connect(uint16_t port, bool reading) {
    socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
    const std::string request = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                                "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
    if (::send(socket, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size())) return false;
    std::string response;
    char byte = 0;
    while (response.find("\r\n\r\n") == std::string::npos && ::recv(socket, &byte, 1, 0) == 1) response += byte;
    if (reading) {
      reader = std::thread([this] {
        char chunk[65536];
        while (!stop.load() && ::recv(socket, chunk, sizeof chunk, 0) > 0) {
        }
      });
    }
    return response.rfind("HTTP/1.1 101", 0) == 0;
  }
  ~Client() {
    stop = true;
    if (socket >= 0) ::shutdown(socket, SHUT_RDWR);
    if (reader.joinable()) reader.join();
    if (socket >= 0) ::close(socket);
  }
};

void BM_SendPage(benchmark::State& state) {
  const Mode mode = Mode(state.range(0));
  PageServerLimits limits;
  limits.max_queued_bytes = size_t(1) << 40;
  PageServer::Start start = PageServer::start("127.0.0.1", 0, limits);
  if (!start.server) {
    state.SkipWithError(start.problem.c_str());
    return;
  }
  PageServer& server = *start.server;
  Client client;
  if (mode != kNoClient) {
    if (!client.connect(server.port(), mode == kReadingClient)) {
      state.SkipWithError("no connection");
      return;
    }
    while (server.client_count() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // A page of the demo's length: about 40 characters of Japanese text.
  std::string page;
  for (int i = 0; i < 40; ++i) page += "あ";
  for (auto _ : state) server.send(page);
  state.counters["dropped"] = double(server.dropped_clients());
  state.SetLabel(mode == kNoClient ? "no client" : mode == kReadingClient ? "reading client" : "stalled client");
}
BENCHMARK(BM_SendPage)->Arg(kNoClient)->Arg(kReadingClient)->Arg(kStalledClient)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
