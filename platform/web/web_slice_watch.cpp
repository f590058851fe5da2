// The slice watch in a page. A page has no threads to watch from, so the
// length of a round is checked when it ends: a round that took longer than
// the limit ends the run as the watching thread would have. (A round that
// never ends keeps the page busy until the browser offers to stop it.)

#include <emscripten.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/slice_watch.h"

namespace tavelo::platform {

SliceWatch::SliceWatch(uint32_t limit_ms, std::string message) : m_limit_ms(limit_ms), m_message(std::move(message)) {}

SliceWatch::~SliceWatch() = default;

void SliceWatch::enter_round() { m_round_started_ms = emscripten_get_now(); }

void SliceWatch::leave_round() {
  if (emscripten_get_now() - m_round_started_ms <= double(m_limit_ms)) return;
  std::string line = m_message + "\n";
  ssize_t ignored = ::write(2, line.data(), line.size());
  (void)ignored;
  std::_Exit(255);
}

}  // namespace tavelo::platform
