// Line marking and the skip test.

#include "script/read_marks.h"

#include "host/engine.h"
#include "script/loader.h"
#include "script/thread.h"

namespace tavelo::script {

void mark_line(host::Engine& engine, Thread& thread, int32_t line) {
  SkipState& skip = engine.script.skip;
  Frame& frame = thread.frame();
  if (thread.id == 0) {
    if (frame.read_mark_cache == ReadMarkCache::Unknown) {
      ReadMarkSet* set = frame.code && frame.code->script ? frame.code->script->read_marks : nullptr;
      frame.read_marks = set;
      frame.read_mark_cache = set ? ReadMarkCache::Set : ReadMarkCache::None;
    }
    if (frame.read_mark_cache == ReadMarkCache::Set) {
      ReadMarkSet& set = *frame.read_marks;
      size_t byte = size_t(line) / 8;
      if (line >= 0 && byte < set.bits.size()) {
        uint8_t bit = uint8_t(1u << (line % 8));
        skip.current_line_read = (set.bits[byte] & bit) != 0;
        set.bits[byte] |= bit;
      } else {
        skip.current_line_read = false;
      }
    } else if (thread.depth == 0) {
      // A library function called from a text script keeps the caller's state.
      skip.current_line_read = false;
    }
  }
  if (!skip.always_read.empty() && frame.code && frame.code->script &&
      skip.always_read.find(frame.code->script->name) != std::string::npos) {
    skip.current_line_read = true;
  }
}

bool is_skipping(host::Engine& engine) {
  SkipState& skip = engine.script.skip;
  if (skip.suspension > 0) return false;
  if (skip.skip_all || skip.fast_forward) return true;
  if (skip.read_skip) {
    if (skip.current_line_read) return true;
    // Read-skip stops at the first unread line.
    skip.read_skip = false;
    return false;
  }
  return skip.automatic && skip.auto_permitted;
}

}  // namespace tavelo::script
