// Arbitrary compiled scripts run by the interpreter on the headless
// platform: whatever the code, the thread or the engine ends with the
// engine's messages, and nothing is read or written outside the code block,
// the stack or the variable stores. The script's functions are callable, and
// the system calls that touch nothing outside the engine's memory (strings,
// pages, sprites, the screen) exist; the others report themselves as
// undefined. A frame is composed after every slice, so sprites the script
// made move, animate and draw.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "graphics/composition.h"
#include "graphics/screen.h"
#include "graphics/state.h"
#include "host/engine.h"
#include "platform/headless/headless_platform.h"
#include "platform/text_encoding.h"
#include "host/syscall_tables.h"
#include "script/dispatch.h"
#include "script/interpreter.h"
#include "script/loader.h"
#include "script/machine.h"
#include "script/state.h"
#include "script/thread.h"

namespace {

using namespace tavelo;

struct Shared {
  std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create("CP932");
  script::SyscallTable pure_syscalls;
  Shared() {
    // Only calls that touch nothing outside the engine's memory: the fuzzer
    // must not write files or open things on the desktop.
    std::vector<script::SyscallEntry> entries;
    for (const script::SyscallTablePart& part : host::syscall_table_parts()) {
      if (part.owner == "library: strings" || part.owner == "graphics: pages" || part.owner == "graphics: sprites" ||
          part.owner == "graphics: screen") {
        entries.insert(entries.end(), part.entries.begin(), part.entries.end());
      }
    }
    std::sort(entries.begin(), entries.end(),
              [](const script::SyscallEntry& a, const script::SyscallEntry& b) { return a.key < b.key; });
    pure_syscalls.entries = std::move(entries);
  }
};

// Slices per input; inside a slice the fuzz build of the interpreter ends the
// engine after a fixed number of instructions, so loops terminate.
constexpr int kSlices = 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Shared shared;
  script::ScriptImage image;
  if (script::parse_script_image(std::span<const uint8_t>(data, size), image) != script::ImageStatus::Ok) return 0;

  platform::HeadlessPlatform platform{platform::AnswerPolicy{}};
  platform.set_echo_to_stderr(false);
  host::Engine engine(platform, *shared.encoding, "/nonexistent-fuzz-directory");
  engine.script.syscalls = shared.pure_syscalls;
  // Scripts may ask for pages of up to 2 GiB each; a fuzzed loop of them
  // measures the machine, not the engine.
  engine.graphics.page_memory_limit = int64_t(4) << 20;
  graphics::create_display_page(engine.graphics, 64, 48);

  auto loaded = std::make_unique<script::LoadedScript>();
  loaded->name = "FUZZ.TVO";
  loaded->entry_offset = image.entry_offset == script::kNoEntry ? 0 : int32_t(image.entry_offset);
  loaded->line_count = image.line_count;
  loaded->functions = image.functions;
  loaded->code = script::make_code_block(image);
  loaded->code->script = loaded.get();
  const script::CodeBlock* block = loaded->code.get();
  const uint8_t* entry = block->begin() + loaded->entry_offset;
  engine.script.scripts.loaded.push_back(std::move(loaded));

  script::Thread* thread = script::create_thread(engine.script, 0);
  if (!thread) return 0;
  script::make_current(engine.script, thread);
  script::Frame& frame = thread->frame();
  frame.code = block;
  frame.position = entry;

  for (int slice = 0; slice < kSlices && !engine.stopping(); ++slice) {
    thread = script::find_thread(engine.script, 0);
    if (!thread || thread->end_state != script::EndState::Running) break;
    script::run_slice(engine.script, *thread);
    platform.advance_clock(16);
    engine.script.clock.held += 16;
    graphics::run_frame_cycle(engine.graphics, engine.script.clock.held);
    graphics::take_presentation(engine.graphics);
  }
  // The engine's own shutdown order.
  engine.script.eternal.release_all();
  engine.script.global.release_all();
  script::free_all_threads(engine.script);
  engine.script.events.clear();
  script::free_all_scripts(engine.script);
  return 0;
}
