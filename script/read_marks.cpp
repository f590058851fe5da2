// Line marking, the skip test and the skip modes.

#include "script/read_marks.h"

#include "resources/multibyte.h"
#include "resources/settings.h"
#include "resources/state.h"
#include "script/loader.h"
#include "script/state.h"
#include "script/thread.h"

namespace tavelo::script {
namespace {

void set_flags(SkipState& skip, bool skip_all, bool read_skip, bool automatic) {
  skip.skip_all = skip_all;
  skip.read_skip = read_skip;
  skip.automatic = automatic;
}

int32_t fast_mode_read_only(Machine& machine) {
  SkipState& skip = machine.skip;
  if (!skip.fast_mode_read_only) skip.fast_mode_read_only = resources::reg_read_int(machine.resources, "FastModeFlg_AR", 0);
  return *skip.fast_mode_read_only;
}

}  // namespace

void mark_line(Machine& machine, Thread& thread, int32_t line) {
  SkipState& skip = machine.skip;
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
      // A library function called from a text script keeps the caller's machine.
      skip.current_line_read = false;
    }
  }
  // Matched character by character, so a name never matches across the two
  // bytes of a double-byte character.
  if (!skip.always_read.empty() && frame.code && frame.code->script &&
      resources::find_text(machine.resources.lead_bytes, skip.always_read, frame.code->script->name,
                           resources::Case::Insensitive) >= 0) {
    skip.current_line_read = true;
  }
}

void mark_current_line_read(Machine& machine) { machine.skip.current_line_read = true; }

bool keyboard_skip_on(const Machine& machine) {
  return machine.hooks.keyboard_skip && machine.hooks.keyboard_skip(machine.engine, false);
}

bool is_skipping(Machine& machine) {
  SkipState& skip = machine.skip;
  if (skip.suspension > 0) return false;
  if (skip.skip_all || skip.fast_forward) return true;
  bool keyboard = keyboard_skip_on(machine);
  if (keyboard || skip.read_skip) {
    if (!skip.current_line_read) {
      // Read-skip stops at the first unread line.
      skip.read_skip = false;
      return false;
    }
    // Holding the right button ends keyboard skipping (and read-skip with it).
    if (!keyboard || machine.hooks.keyboard_skip(machine.engine, true)) return true;
    skip.read_skip = false;
    return false;
  }
  return skip.automatic && skip.auto_permitted;
}

void set_skip_mode(Machine& machine, int32_t mode) {
  SkipState& skip = machine.skip;
  skip.fast_forward = false;
  if (mode == 5) mode = resources::env_setting(machine.resources, resources::EnvInt::NekoMenu) != 0 ? 1 : 4;
  if (mode == 1 && fast_mode_read_only(machine) != 0) {
    set_flags(skip, false, true, false);
    return;
  }
  switch (mode) {
    case 0:
    case 7: set_flags(skip, false, false, false); break;
    case 1:
    case 4: set_flags(skip, true, false, false); break;
    case 2:
      skip.read_skip = true;
      skip.automatic = false;
      break;
    case 3: set_flags(skip, false, false, true); break;
    case 6:
      set_flags(skip, true, false, false);
      skip.fast_forward = true;
      break;
    default: break;
  }
}

void stop_skipping_on_click(Machine& machine) {
  if (!machine.skip.fast_forward) set_skip_mode(machine, 0);
}

}  // namespace tavelo::script
