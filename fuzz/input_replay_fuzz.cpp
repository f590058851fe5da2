// Arbitrary bytes as a replayed-input file: the parse either names a line
// within the file or gives events in time order whose fields stay in range.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "host/input_replay.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  host::ReplayParse parsed = host::parse_input_replay(text, "/base");
  if (parsed.error) {
    size_t lines = size_t(std::count(text.begin(), text.end(), '\n')) + 1;
    if (!parsed.events.empty() || parsed.error->line == 0 || parsed.error->line > lines) std::abort();
    if (parsed.error->reason.empty()) std::abort();
    return 0;
  }
  uint32_t previous = 0;
  for (const platform::Event& event : parsed.events) {
    if (event.time < previous || event.time > host::kReplayLastTime + host::kReplayHoldMs) std::abort();
    previous = event.time;
    if (event.x < -(1 << 20) || event.x > (1 << 20) || event.y < -(1 << 20) || event.y > (1 << 20)) std::abort();
    if (event.type == platform::EventType::KeyDown || event.type == platform::EventType::KeyUp) {
      if (event.key < 0 || event.key > 255) std::abort();
    }
    if (event.type == platform::EventType::Screenshot && event.text.empty()) std::abort();
    if (event.type == platform::EventType::Wheel && event.wheel == 0) std::abort();
  }
  return 0;
}
