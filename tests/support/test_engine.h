#pragma once
// A fresh engine on the headless platform, for tests that look into the
// engine's state or drive its platform. It brings no state header with it:
// a test includes the state headers of the records it looks into, so a
// change to one subsystem's state recompiles that subsystem's tests only.
// Tests that only run scripts need game_builder.h.

#include <memory>
#include <string>
#include <string_view>

#include "host/engine.h"
#include "platform/headless/headless_platform.h"
#include "platform/text_encoding.h"
#include "tests/support/test_files.h"

namespace tavelo::testing {

// An engine on the headless platform with the CP932 code page (or another),
// working in the given directory. Message boxes are recorded, not echoed.
struct TestEngine {
  explicit TestEngine(std::string working_directory, platform::AnswerPolicy policy = {},
                      std::string_view code_page = "CP932");

  platform::HeadlessPlatform platform;
  std::unique_ptr<platform::TextEncoding> encoding;
  host::Engine engine;
};

}  // namespace tavelo::testing
