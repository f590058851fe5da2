// Arbitrary bytes as what a debugger (or the engine, for tvdbg) sends over
// the link: frames are taken off the front until the stream is broken or
// ends, and every record inside is decoded. Nothing may crash, a taken frame
// must consume bytes, and a decoded record must encode back to the same bytes.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "library/debug_link.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo::library;
  std::vector<uint8_t> pending(data, data + size);
  LinkFrame frame;
  for (;;) {
    size_t before = pending.size();
    FrameRead read = read_link_frame(pending, frame);
    if (read != FrameRead::Frame) break;
    if (pending.size() >= before) std::abort();
    if (frame.kind == FrameKind::CopyData && frame.tag == kTagBreak) {
      if (std::optional<BreakReport> report = decode_break_report(frame.data)) {
        if (encode_break_report(*report).size() != frame.data.size()) std::abort();
      }
    } else if (frame.kind == FrameKind::CopyData && frame.tag == kTagVariable) {
      if (std::optional<VariableRecord> record = decode_variable(frame.data)) {
        if (encode_variable(*record) != frame.data) std::abort();
      }
    } else if (frame.kind == FrameKind::Message && frame.code == kLinkEcho) {
      if (std::optional<std::span<const uint8_t>> echoed = echo_data(frame.data)) {
        if (echoed->size() + 12 > frame.data.size()) std::abort();
      }
    }
  }
  return 0;
}
