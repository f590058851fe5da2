// The slice watch's thread.

#include "platform/slice_watch.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace tavelo::platform {

SliceWatch::SliceWatch(uint32_t limit_ms, std::string message)
    : m_limit_ms(limit_ms), m_message(std::move(message)), m_thread([this] { watch(); }) {}

SliceWatch::~SliceWatch() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
  }
  m_wake.notify_all();
  m_thread.join();
}

void SliceWatch::watch() {
  using Clock = std::chrono::steady_clock;
  // Looks a few times per limit, but not more often than every 5 ms: a round
  // is noticed at most two looks after it passed the limit, never before.
  const auto look_every = std::chrono::milliseconds(std::clamp<uint32_t>(m_limit_ms / 4, 5, 250));
  const auto limit = std::chrono::milliseconds(m_limit_ms);
  uint32_t seen_round = 0;
  Clock::time_point seen_since = Clock::now();
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_wake.wait_for(lock, look_every, [this] { return m_stopping; })) {
    uint32_t round = m_round.load(std::memory_order_relaxed);
    Clock::time_point now = Clock::now();
    if (round % 2 == 0 || round != seen_round) {
      seen_round = round;
      seen_since = now;
      continue;
    }
    if (now - seen_since < limit) continue;
    // The main thread is inside the interpreter and cannot be stopped in an
    // orderly way; the process ends here, as an abnormal end.
    std::string line = m_message + "\n";
    ssize_t ignored = ::write(2, line.data(), line.size());
    (void)ignored;
    std::_Exit(255);
  }
}

}  // namespace tavelo::platform
