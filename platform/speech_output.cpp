// speech-dispatcher behind a request queue and a thread.

#include "platform/speech_output.h"

#include <libspeechd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

namespace tavelo::platform {

struct SpeechOutput::Worker {
  struct Request {
    enum class Kind { Say, Stop } kind = Kind::Say;
    std::string text;
    std::string language;
    bool interrupt = false;
  };

  std::string client_name;
  std::mutex mutex;
  std::condition_variable wake;
  std::condition_variable idle;
  std::deque<Request> requests;
  bool busy = false;
  bool stopping = false;
  bool connected = false;
  bool finished = false;  // run() returned
  std::thread thread;

  // Worker thread only.
  SPDConnection* connection = nullptr;
  bool gave_up = false;
  std::string language;

  void run() {
    for (;;) {
      Request request;
      {
        std::unique_lock lock(mutex);
        busy = false;
        idle.notify_all();
        wake.wait(lock, [this] { return stopping || !requests.empty(); });
        if (stopping) break;
        request = std::move(requests.front());
        requests.pop_front();
        busy = true;
      }
      carry_out(request);
    }
    if (connection) spd_close(connection);
    std::lock_guard lock(mutex);
    finished = true;
    idle.notify_all();
  }

  bool connect() {
    if (connection) return true;
    if (gave_up) return false;
    char* error = nullptr;
    connection = spd_open2(client_name.c_str(), "reading", nullptr, SPD_MODE_SINGLE, nullptr, 1, &error);
    if (!connection) {
      gave_up = true;
      std::fprintf(stderr, "tavelo: reading aloud needs speech-dispatcher: %s\n", error ? error : "no connection");
      std::free(error);
    }
    return connection != nullptr;
  }

  void carry_out(const Request& request) {
    if (!connect()) return;
    bool ok = true;
    if (request.kind == Request::Kind::Stop || request.interrupt) ok = spd_cancel(connection) == 0;
    if (request.kind == Request::Kind::Say) {
      if (request.language != language) {
        // An empty tag keeps the daemon's language for the next text.
        if (!request.language.empty()) spd_set_language(connection, request.language.c_str());
        language = request.language;
      }
      ok = spd_say(connection, SPD_MESSAGE, request.text.c_str()) > 0 && ok;
    }
    std::lock_guard lock(mutex);
    connected = ok;
  }
};

// How long the engine's end waits for the thread. A daemon that accepted the
// connection and then stopped answering (it happens when one daemon serves
// many clients) leaves the thread inside the client library for ever; the
// thread is then left to the process's end.
constexpr std::chrono::seconds kEndWait{2};

SpeechOutput::SpeechOutput(std::string client_name) : m_worker(std::make_shared<Worker>()) {
  m_worker->client_name = std::move(client_name);
  m_worker->thread = std::thread([worker = m_worker] { worker->run(); });
}

SpeechOutput::~SpeechOutput() {
  std::unique_lock lock(m_worker->mutex);
  m_worker->stopping = true;
  m_worker->wake.notify_all();
  bool ended = m_worker->idle.wait_for(lock, kEndWait, [this] { return m_worker->finished; });
  lock.unlock();
  if (ended) {
    m_worker->thread.join();
  } else {
    std::fprintf(stderr, "tavelo: speech-dispatcher does not answer; reading aloud is left behind\n");
    m_worker->thread.detach();
  }
}

void SpeechOutput::say(std::string_view text, std::string_view language, bool interrupt) {
  {
    std::lock_guard lock(m_worker->mutex);
    // Words not yet handed over are stale once the reader is interrupted.
    if (interrupt) m_worker->requests.clear();
    m_worker->requests.push_back({Worker::Request::Kind::Say, std::string(text), std::string(language), interrupt});
  }
  m_worker->wake.notify_all();
}

void SpeechOutput::stop() {
  {
    std::lock_guard lock(m_worker->mutex);
    m_worker->requests.clear();
    m_worker->requests.push_back({Worker::Request::Kind::Stop, {}, {}, false});
  }
  m_worker->wake.notify_all();
}

bool SpeechOutput::flush(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_worker->mutex);
  return m_worker->idle.wait_for(lock, timeout, [this] { return m_worker->requests.empty() && !m_worker->busy; });
}

bool SpeechOutput::connected() const {
  std::lock_guard lock(m_worker->mutex);
  return m_worker->connected;
}

}  // namespace tavelo::platform
