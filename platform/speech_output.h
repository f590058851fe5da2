#pragma once
// Reading aloud through speech-dispatcher (its client library, libspeechd):
// the real backend's speech. Requests are queued and carried out by a
// thread of its own, which connects on the first request (the library
// starts the daemon when it is installed but not running): a daemon that is
// slow or missing never holds up the frame loop, and one that stopped
// answering does not keep the engine from ending. Without a daemon the
// requests are dropped, with one line on standard error.

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace tavelo::platform {

class SpeechOutput {
 public:
  // client_name names the engine to the daemon (its own settings per client).
  explicit SpeechOutput(std::string client_name);
  ~SpeechOutput();
  SpeechOutput(const SpeechOutput&) = delete;
  SpeechOutput& operator=(const SpeechOutput&) = delete;

  // Reads text (UTF-8) after what was asked before, or at once when
  // interrupt. language: a tag such as "ja", empty for the daemon's default.
  void say(std::string_view text, std::string_view language, bool interrupt);
  void stop();
  // Waits until every request so far reached the daemon, at most timeout;
  // false when they did not (tests).
  bool flush(std::chrono::milliseconds timeout);
  // Whether the daemon took the last request.
  bool connected() const;

  struct Worker;

 private:
  // Shared with the thread, which may outlive this object (~SpeechOutput).
  std::shared_ptr<Worker> m_worker;
};

}  // namespace tavelo::platform
