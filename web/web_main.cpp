// The engine in a page: the same command line as the desktop executable
// (the page passes its words), the engine's cycles run from the page's
// animation frames. With --headless the page runs on the virtual clock, as
// `tavelo --headless` does, so its screenshots and logs can be compared with
// the desktop's.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/output.h"
#include "audio/state.h"
#include "host/command_line.h"
#include "host/engine.h"
#include "host/frame_loop.h"
#include "host/input_replay.h"
#include "host/startup.h"
#include "input/state.h"
#include "platform/file_system.h"
#include "platform/headless/headless_platform.h"
#include "platform/text_encoding.h"
#include "platform/web/page_loop.h"
#include "platform/web/web_platform.h"
#include "resources/memory.h"

namespace {

using namespace tavelo;

// Real time per animation frame the engine may take: a real window leaves
// the rest of the frame to the browser; the virtual clock runs as far as it
// can while keeping the page alive.
constexpr double kWindowBudgetMs = 8;
constexpr double kHeadlessBudgetMs = 40;

// Everything one run needs; it lives until the run ends.
struct PageRun {
  host::CommandLine command;
  std::unique_ptr<platform::TextEncoding> encoding;
  std::unique_ptr<platform::Platform> backend;
  platform::WebPlatform* window = nullptr;  // the backend, when it is the page's window
  std::unique_ptr<host::Engine> engine;
  host::EngineRun run;
};

void finish(PageRun& page) {
  host::write_final_screenshot(*page.engine, page.command.screenshot);
  platform::report_engine_end(page.run.status);
}

platform::PageStep page_cycle(PageRun& page) {
  using platform::PageCycle;
  if (page.window && !page.window->awake()) return {PageCycle::Rest, page.window->rest_left()};
  switch (host::step_engine(*page.engine, page.run)) {
    case host::EngineStep::Cycled:
      if (page.window) {
        page.window->set_sound_wanted(audio::has_sound_to_play(page.engine->audio.output));
        page.window->set_pads_wanted(page.engine->input.pad.use != 0);
      }
      host::rest_after_cycle(*page.engine);
      if (page.window && !page.window->awake()) return {PageCycle::Rest, page.window->rest_left()};
      return {PageCycle::Again};
    case host::EngineStep::RunBegun: return {PageCycle::Again};
    case host::EngineStep::Ended:
      finish(page);
      return {PageCycle::Done};
  }
  return {PageCycle::Done};
}

// Makes the engine in the page's encoding, with the replayed input, and
// starts it; false when it ended before its first cycle.
bool begin_engine(PageRun& page, const std::vector<platform::Event>& replay) {
  page.engine = std::make_unique<host::Engine>(*page.backend, *page.encoding, platform::current_directory());
  if (!replay.empty()) host::load_input_replay(*page.engine, replay);
  return host::start_engine(*page.engine, page.command.startup, page.run);
}

int start(int argc, char** argv) {
  host::CommandLineParse parse = host::parse_command_line(argc, argv);
  if (!parse.command) return parse.exit_status;
  auto page = std::make_unique<PageRun>();
  page->command = std::move(*parse.command);
  host::CommandLine& command = page->command;
  std::vector<platform::Event> replay;
  if (!host::read_replay_file(command, replay)) return 2;
  if (command.game_directory.empty()) command.game_directory = "/games/demo";
  if (!platform::is_directory(command.game_directory) || !platform::change_directory(command.game_directory)) {
    std::fprintf(stderr, "tavelo: %s is not a game directory\n", command.game_directory.c_str());
    return 255;
  }
  page->encoding = platform::TextEncoding::create(command.code_page);
  if (!page->encoding) return host::command_line_error("unknown code page " + command.code_page);
  std::optional<platform::AnswerPolicy> policy = platform::parse_answer_policy(command.answer);
  if (!policy) return host::command_line_error("unknown --answer policy " + command.answer);
  if (!command.audio_out.empty()) return host::command_line_error("--audio-out is not available in a page");

  if (!command.headless) {
    std::unique_ptr<platform::WebPlatform> window = platform::create_web_platform();
    page->window = window.get();
    page->backend = std::move(window);
    if (!page->backend) std::fprintf(stderr, "tavelo: the page has no canvas to draw on; running headless\n");
  }
  if (!page->backend) page->backend = std::make_unique<platform::HeadlessPlatform>(std::move(*policy));

  bool started = begin_engine(*page, replay);
  if (!started && page->run.status == host::kOtherCodePage) {
    // The game's environment file names its code page (CODEPAGE): start
    // again in that one, before anything was shown.
    const std::string wanted = host::environment_code_page(*page->engine);
    page->engine.reset();
    page->encoding = platform::TextEncoding::create(wanted);
    if (!page->encoding) {
      std::fprintf(stderr, "tavelo: the environment file names an unknown code page %s\n", wanted.c_str());
      return 255;
    }
    command.startup.code_page_given = true;
    page->run = host::EngineRun{};
    started = begin_engine(*page, replay);
  }
  if (!started) {
    finish(*page);
    return page->run.status;
  }
  double budget = page->window ? kWindowBudgetMs : kHeadlessBudgetMs;
  PageRun* running = page.release();
  platform::run_page_loop(
      [running] {
        platform::PageStep step = page_cycle(*running);
        if (step.cycle == platform::PageCycle::Done) delete running;
        return step;
      },
      budget);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  tavelo::resources::install_out_of_memory_handler();
  int status = start(argc, argv);
  // A run that ended before its first cycle (or never began) is reported
  // here; a running one reports when it ends.
  if (status != 0) tavelo::platform::report_engine_end(status);
  return status;
}
