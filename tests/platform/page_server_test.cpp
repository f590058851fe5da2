// The loopback WebSocket server for page text, with real clients on real
// sockets: well-behaved ones receive every message in order while bad ones
// (garbage instead of a handshake, frames past the limit, a reader that
// never reads) are dropped; addresses other than loopback are never bound.

#include "platform/page_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/websocket_client.h"

namespace tavelo::platform {
namespace {

using testing::WebSocketClient;

// The server counts a client once its handshake is done on its own thread.
bool wait_for_clients(const PageServer& server, size_t count) {
  for (int i = 0; i < 500 && server.client_count() != count; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return server.client_count() == count;
}

TEST(PageServer, binds_loopback_addresses_only) {
  for (const char* address : {"0.0.0.0", "192.168.1.20", "::", "localhost", "", "127.0.0.1:80"}) {
    PageServer::Start start = PageServer::start(address, 0);
    EXPECT_EQ(start.server, nullptr) << address;
    EXPECT_FALSE(start.problem.empty()) << address;
  }
  PageServer::Start start = PageServer::start("127.0.0.1", 0);
  ASSERT_NE(start.server, nullptr) << start.problem;
  EXPECT_NE(start.server->port(), 0);
  // The port is taken: a second server on it reports so instead of sharing it.
  PageServer::Start again = PageServer::start("127.0.0.1", start.server->port());
  EXPECT_EQ(again.server, nullptr);
}

TEST(PageServer, good_clients_get_every_message_in_order_while_bad_clients_are_dropped) {
  PageServerLimits limits;
  limits.max_received_bytes = 1024;
  limits.max_queued_bytes = 64 * 1024;
  PageServer::Start start = PageServer::start("127.0.0.1", 0, limits);
  ASSERT_NE(start.server, nullptr) << start.problem;
  PageServer& server = *start.server;
  const uint16_t port = server.port();

  WebSocketClient good;
  ASSERT_TRUE(good.connect(port));
  // Not HTTP at all: the connection is closed, and never counts as a client.
  WebSocketClient garbage;
  ASSERT_TRUE(garbage.connect(port, false));
  ASSERT_TRUE(garbage.send_raw(std::string(3000, '\xFF') + "\r\n\r\n"));
  // A frame past the limit, and a stream of small ones that adds up past it.
  WebSocketClient huge;
  ASSERT_TRUE(huge.connect(port));
  WebSocketClient chatty;
  ASSERT_TRUE(chatty.connect(port));
  // Never reads, with a small receive window.
  WebSocketClient stalled;
  stalled.set_small_receive_buffer();
  ASSERT_TRUE(stalled.connect(port));
  ASSERT_TRUE(wait_for_clients(server, 4));

  // The server may close before the frame is all written.
  (void)huge.send_frame(2, std::string(100000, 'x'));
  for (int i = 0; i < 40; ++i) {
    if (!chatty.send_frame(1, std::string(100, 'a'))) break;
  }
  EXPECT_TRUE(garbage.closed_by_server());
  EXPECT_TRUE(huge.closed_by_server());
  EXPECT_TRUE(chatty.closed_by_server());

  // Pages of 16 KiB, each sent once the good client has the one before (a
  // game shows pages one at a time): the stalled reader's sockets fill, then
  // more than 64 KiB wait for it.
  constexpr int kPages = 600;
  for (int i = 0; i < kPages; ++i) {
    std::string page = "page" + std::to_string(i) + " ";
    page.resize(16 * 1024, 'z');
    server.send(page);
    std::optional<std::string> text = good.receive_text();
    ASSERT_TRUE(text.has_value()) << "page " << i;
    ASSERT_EQ(*text, page);
  }
  EXPECT_TRUE(stalled.closed_by_server(10000));
  EXPECT_TRUE(wait_for_clients(server, 1));
  EXPECT_EQ(server.dropped_clients(), 3u);  // huge, chatty, stalled

  // A client that comes later gets what is sent from then on, in UTF-8 as given.
  WebSocketClient late;
  ASSERT_TRUE(late.connect(port));
  ASSERT_TRUE(wait_for_clients(server, 2));
  server.send("太郎「こんばんは」");
  EXPECT_EQ(late.receive_text(), "太郎「こんばんは」");
  EXPECT_EQ(good.receive_text(), "太郎「こんばんは」");
}

}  // namespace
}  // namespace tavelo::platform
