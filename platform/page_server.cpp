// The loopback WebSocket server for page text, on libwebsockets.
//
// Threads: start() creates the libwebsockets context on the caller's thread
// (so a bind that fails is reported at once), then one service thread owns
// it; every callback runs there. send() only appends to the outbox under a
// lock and wakes the service thread (lws_cancel_service); the thread moves
// the outbox into each client's queue and writes when the client's socket
// takes more. The destructor stops the thread and destroys the context.

#include "platform/page_server.h"

#include <arpa/inet.h>
#include <libwebsockets.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace tavelo::platform {
namespace {

// A message with the room libwebsockets writes its frame header into before
// the text. Clients share one message; the service thread writes it to one
// client after another.
using Message = std::shared_ptr<std::string>;

struct Client {
  lws* connection = nullptr;
  std::deque<Message> queue;
  size_t queued_bytes = 0;
  size_t received_bytes = 0;
  bool dropping = false;
};

// What libwebsockets keeps per connection (zeroed by it).
struct ClientSlot {
  Client* client;
};

int serve(lws* connection, lws_callback_reasons reason, void* user, void* in, size_t length);

const lws_protocols kProtocols[] = {
    // The first protocol serves clients that name none, as text-hooking pages do.
    {"tavelo-text", serve, sizeof(ClientSlot), 4096, 0, nullptr, 0},
    {nullptr, nullptr, 0, 0, 0, nullptr, 0},
};

}  // namespace

struct PageServer::Shared {
  PageServerLimits limits;
  lws_context* context = nullptr;
  std::thread thread;
  std::atomic<bool> stopping{false};
  std::mutex outbox_mutex;
  std::vector<Message> outbox;
  std::vector<Client*> clients;  // service thread only
  std::atomic<size_t> client_count{0};
  std::atomic<uint64_t> dropped{0};
  uint16_t port = 0;
};

namespace {

void drop(PageServer::Shared& shared, Client& client) {
  if (client.dropping) return;
  client.dropping = true;
  client.queue.clear();
  client.queued_bytes = 0;
  ++shared.dropped;
  lws_set_timeout(client.connection, PENDING_TIMEOUT_USER_OK, LWS_TO_KILL_ASYNC);
}

void take_outbox(PageServer::Shared& shared) {
  std::vector<Message> messages;
  {
    std::lock_guard lock(shared.outbox_mutex);
    messages.swap(shared.outbox);
  }
  if (messages.empty()) return;
  for (Client* client : shared.clients) {
    if (client->dropping) continue;
    for (const Message& message : messages) {
      client->queue.push_back(message);
      client->queued_bytes += message->size() - LWS_PRE;
    }
    if (client->queued_bytes > shared.limits.max_queued_bytes) {
      drop(shared, *client);  // it reads too slowly to keep up
    } else {
      lws_callback_on_writable(client->connection);
    }
  }
}

int serve(lws* connection, lws_callback_reasons reason, void* user, void* /*in*/, size_t length) {
  auto* shared = static_cast<PageServer::Shared*>(lws_context_user(lws_get_context(connection)));
  auto* slot = static_cast<ClientSlot*>(user);
  Client* client = slot ? slot->client : nullptr;
  switch (reason) {
    case LWS_CALLBACK_ESTABLISHED:
      slot->client = new Client;
      slot->client->connection = connection;
      shared->clients.push_back(slot->client);
      ++shared->client_count;
      break;
    case LWS_CALLBACK_CLOSED:
      if (client) {
        shared->clients.erase(std::remove(shared->clients.begin(), shared->clients.end(), client), shared->clients.end());
        --shared->client_count;
        delete client;
        slot->client = nullptr;
      }
      break;
    case LWS_CALLBACK_RECEIVE:
      if (!client) return -1;
      client->received_bytes += length;
      if (client->received_bytes > shared->limits.max_received_bytes) {
        ++shared->dropped;
        client->dropping = true;
        return -1;  // a listener has nothing to say at such length
      }
      break;
    case LWS_CALLBACK_SERVER_WRITEABLE: {
      if (!client || client->dropping || client->queue.empty()) break;
      Message message = client->queue.front();
      client->queue.pop_front();
      const size_t size = message->size() - LWS_PRE;
      client->queued_bytes -= size;
      auto* text = reinterpret_cast<unsigned char*>(message->data()) + LWS_PRE;
      if (lws_write(connection, text, size, LWS_WRITE_TEXT) < int(size)) return -1;
      if (!client->queue.empty()) lws_callback_on_writable(connection);
      break;
    }
    case LWS_CALLBACK_EVENT_WAIT_CANCELLED: take_outbox(*shared); break;
    default: break;
  }
  return 0;
}

}  // namespace

bool is_loopback_address(std::string_view address) {
  const std::string text(address);
  in_addr v4{};
  if (inet_pton(AF_INET, text.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (inet_pton(AF_INET6, text.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
  return false;
}

PageServer::Start PageServer::start(std::string_view address, uint16_t port, PageServerLimits limits) {
  Start result;
  if (!is_loopback_address(address)) {
    result.problem = "the text server binds loopback addresses only, not " + std::string(address);
    return result;
  }
  // libwebsockets logs to standard error; the engine reports what matters itself.
  lws_set_log_level(0, nullptr);
  auto shared = std::make_unique<Shared>();
  shared->limits = limits;
  const std::string interface(address);
  lws_context_creation_info info;
  std::memset(&info, 0, sizeof info);
  info.port = port;  // 0: a free port, read back below
  info.iface = interface.c_str();
  info.protocols = kProtocols;
  info.user = shared.get();
  info.gid = -1;
  info.uid = -1;
  info.max_http_header_data = 4096;  // a handshake is a few hundred bytes
  info.timeout_secs = 5;
  if (interface.find(':') == std::string::npos) info.options |= LWS_SERVER_OPTION_DISABLE_IPV6;
  shared->context = lws_create_context(&info);
  if (!shared->context) {
    result.problem = "cannot listen on " + interface + ":" + std::to_string(port);
    return result;
  }
  lws_vhost* vhost = lws_get_vhost_by_name(shared->context, "default");
  const int bound = vhost ? lws_get_vhost_listen_port(vhost) : -1;
  if (bound <= 0) {
    lws_context_destroy(shared->context);
    result.problem = "cannot listen on " + interface + ":" + std::to_string(port);
    return result;
  }
  shared->port = uint16_t(bound);
  Shared* state = shared.get();
  shared->thread = std::thread([state] {
    while (!state->stopping.load()) {
      if (lws_service(state->context, 0) < 0) break;
    }
  });
  result.server.reset(new PageServer(std::move(shared)));
  return result;
}

PageServer::PageServer(std::unique_ptr<Shared> shared) : m_shared(std::move(shared)) {}

PageServer::~PageServer() {
  m_shared->stopping = true;
  lws_cancel_service(m_shared->context);
  if (m_shared->thread.joinable()) m_shared->thread.join();
  lws_context_destroy(m_shared->context);
  for (Client* client : m_shared->clients) delete client;
}

void PageServer::send(std::string_view text) {
  auto message = std::make_shared<std::string>(LWS_PRE, '\0');
  message->append(text);
  {
    std::lock_guard lock(m_shared->outbox_mutex);
    m_shared->outbox.push_back(std::move(message));
  }
  lws_cancel_service(m_shared->context);
}

uint16_t PageServer::port() const { return m_shared->port; }
size_t PageServer::client_count() const { return m_shared->client_count.load(); }
uint64_t PageServer::dropped_clients() const { return m_shared->dropped.load(); }

}  // namespace tavelo::platform
