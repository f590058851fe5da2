#pragma once
// The guard that ends a run whose scripts never give control back (a
// `--quit-after` run of a script stuck in a loop): a thread that ends the
// process with status 255 and a message on standard error once the host has
// been inside one round of script slices for longer than a limit of wall
// time. The interpreter checks nothing itself, so its loop pays nothing for
// the guard; the host marks where each round begins and ends
// (host/frame_loop.cpp). Created and marked on the main thread only.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace tavelo::platform {

class SliceWatch {
 public:
  // Starts watching. limit_ms: wall time one round may take; message: UTF-8,
  // written as one line before the process ends.
  SliceWatch(uint32_t limit_ms, std::string message);
  ~SliceWatch();
  SliceWatch(const SliceWatch&) = delete;
  SliceWatch& operator=(const SliceWatch&) = delete;

#if defined(__EMSCRIPTEN__)
  // A page has no thread to watch from: the round's length is checked when
  // it ends (platform/web/web_slice_watch.cpp).
  void enter_round();
  void leave_round();
#else
  // Around each round of slices: one atomic increment each.
  void enter_round() { m_round.fetch_add(1, std::memory_order_relaxed); }
  void leave_round() { m_round.fetch_add(1, std::memory_order_relaxed); }
#endif

 private:
  void watch();

  const uint32_t m_limit_ms;
  const std::string m_message;
  // Counts entries and exits: odd while a round runs, and a value that stays
  // the same between two looks means the same round is still running.
  std::atomic<uint32_t> m_round{0};
  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_stopping = false;  // guarded by m_mutex
  std::thread m_thread;
  double m_round_started_ms = 0;  // the page's clock, in the browser build
};

}  // namespace tavelo::platform
