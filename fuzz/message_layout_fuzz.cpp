// Arbitrary bytes as a story for the message window: text of any bytes
// (invalid lead bytes, control characters, unterminated quotations, lines far
// longer than the pending-text limit), control codes with arguments, layout
// steps, history replays and changed line-breaking rules, on a real engine
// with the window on a page. Whatever comes, the pending text stays within
// its limit, the pen keeps moving, every step ends, and the history remains a
// chain the navigation calls can walk.
//
// Input: a sequence of operations, each an opcode byte and its operands:
//   0 n bytes[n]    text (n up to 255; a run may repeat to make long lines)
//   1 c k args      control code c with k (0-7) arguments: each 'i' + 4 bytes
//                   or 's' + n + bytes
//   2               lay the pending text out until the instruction finishes
//   3 o o           replay the history page at offset o (u16), or -1 for 0xFFFF
//   4 t s w         KINSOKU_TYPE t % 4, the alphabetic layout when t & 4,
//                   SPACEINDENT s & 1, window width w × 4

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "graphics/page_table.h"
#include "host/engine.h"
#include "platform/headless/headless_platform.h"
#include "platform/text_encoding.h"
#include "script/machine.h"
#include "script/state.h"
#include "script/thread.h"
#include "text/history.h"
#include "text/line_breaking.h"
#include "text/message_window.h"
#include "text/state.h"

namespace {

using namespace tavelo;

// Layout steps per message instruction: a step lays out at least one
// character, so the pending text (at most 1 023 bytes) needs no more; the
// page-overflow and window-open steps add a few.
constexpr int kStepLimit = 4000;
// A replay step takes one history entry or lays out one line.
constexpr int kReplayStepLimit = 200000;

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  bool more() const { return at < size; }
  uint8_t byte() { return at < size ? data[at++] : 0; }
  std::string bytes(size_t n) {
    n = std::min(n, size - at);
    std::string out(reinterpret_cast<const char*>(data + at), n);
    at += n;
    return out;
  }
};

void check_history(const text::History& history) {
  for (text::PageBoundaries mode : {text::PageBoundaries::Default, text::PageBoundaries::ClearsOnly}) {
    const int32_t count = text::count_history_pages(history, mode);
    if (count < 1 || count > text::kHistorySize) abort();
    const int32_t oldest = text::history_page_offset(history, count, mode);
    const int32_t next = text::next_page_start(history, oldest, mode);
    if (oldest < 0 || oldest > text::kHistorySize || next < 0 || next > text::kHistorySize) abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create("CP932");
  platform::HeadlessPlatform platform{platform::AnswerPolicy{}};
  platform.set_echo_to_stderr(false);
  host::Engine engine(platform, *encoding, "/nonexistent-fuzz-directory");
  text::State& text = engine.text;
  text.renderer.codec = text::make_text_codec(*encoding);
  // Glyphs at their own size: the layout is under test here, and the
  // supersampled rasteriser has its tests; this keeps runs fast.
  text.renderer.antialias_mode = 0;
  text.renderer.client_width = 320;
  text.message.options.kinsoku = text::default_kinsoku_tables(*encoding);
  text.message.options.punctuation = text::make_punctuation(*encoding);

  script::Thread* thread = script::create_thread(engine.script, 0);
  script::make_current(engine.script, thread);
  const int32_t page = graphics::create_page(engine.graphics, 320, 240, graphics::Depth::Rgb24, graphics::Holding::Script);
  text::FontRecord& console = text.message.console;
  console.page = page;
  console.frame = {8, 8, 300, 220};
  console.x = 8;
  console.y = 8;
  console.height = 16;
  console.width = 8;
  console.pitch = 20;

  const script::HostHooks hooks = engine.script.hooks;
  Reader in{data, size};
  while (in.more() && !engine.stopping()) {
    switch (in.byte() % 5) {
      case 0: hooks.append_text(engine, in.bytes(in.byte())); break;
      case 1: {
        const char code = char(in.byte());
        const int count = in.byte() % 8;
        for (int i = 0; i < count; ++i) {
          if (in.byte() == 's') {
            script::push_value(*thread, script::make_string(in.bytes(in.byte())));
          } else {
            const std::string raw = in.bytes(4) + std::string(4, '\0');
            int32_t value = 0;
            for (int b = 0; b < 4; ++b) value |= int32_t(uint32_t(uint8_t(raw[size_t(b)])) << (8 * b));
            script::push_value(*thread, script::make_int(value));
          }
        }
        const std::string inline_code(1, code);
        if (!hooks.control_code(engine, inline_code)) {
          // A timed pause: the clock does not move here, so end it.
          thread->frame().waiting = false;
          thread->frame().wait_deadline = 0;
        }
        script::release_stack_above(*thread, 1);
        break;
      }
      case 2: {
        int steps = 0;
        while (!hooks.lay_out_message(engine)) {
          if (++steps > kStepLimit) abort();
          // Handlers would run here; none are registered, so the raised
          // events' values are gone already.
          if (thread->depth != 0 || thread->sp != 1) abort();
        }
        if (!text.message.pending.empty()) abort();
        break;
      }
      case 3: {
        const int32_t high = in.byte(), low = in.byte();
        const int32_t offset = high == 0xFF && low == 0xFF ? -1 : (high << 8 | low);
        // Through the layout and command machinery directly: the call's
        // stack handling is the dispatcher's.
        int steps = 0;
        const text::Canvas canvas{graphics::find_page(engine.graphics, page), nullptr};
        while (text::replay_history_step(text, engine.script, canvas, 0, offset).outcome ==
               text::StepOutcome::RunAgain) {
          text::raise_queued_events(text, engine.script);
          if (++steps > kReplayStepLimit) abort();
        }
        text::raise_queued_events(text, engine.script);
        break;
      }
      case 4: {
        const uint8_t type = in.byte();
        text.message.options.rules.kinsoku_type = type % 4;
        text::set_text_layout(text.renderer, (type & 4) != 0 ? text::TextLayout::Alphabetic : text::TextLayout::Cells);
        text.message.options.rules.space_indent = (in.byte() & 1) != 0;
        console.frame.width = int32_t(in.byte()) * 4;
        break;
      }
    }
    if (text.message.pending.size() > text::kPendingTextLimit) abort();
  }
  check_history(text.history);
  script::free_all_threads(engine.script);
  return 0;
}
