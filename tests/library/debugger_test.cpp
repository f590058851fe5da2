// The engine's side of the debugger link, in-process: what it does with a
// misbehaving debugger, the breakpoint table's limits, and the attach wait.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "library/debugger.h"
#include "script/state.h"
#include "tests/support/test_engine.h"

namespace tavelo::testing {
namespace {

using platform::LoopbackSocket;
using library::LinkFrame;

struct Link {
  TempDirectory directory;
  TestEngine test{directory.path()};
  library::Debugger debugger;

  Link() { EXPECT_FALSE(library::open_debugger_link(debugger, 0).has_value()); }

  LoopbackSocket connect() {
    std::optional<LoopbackSocket> client =
        LoopbackSocket::connect("127.0.0.1", debugger.listener.local_port(), 1000);
    EXPECT_TRUE(client.has_value());
    serve_until([&] { return debugger.client.is_open(); });
    return std::move(*client);
  }

  // Serves the link until done() holds (at most 2 s of real time).
  template <typename Done>
  bool serve_until(Done done) {
    for (int i = 0; i < 2000; ++i) {
      library::service_debugger(test.engine.script, debugger);
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

  // The frames a client received so far, read until the reply to code.
  std::vector<LinkFrame> read_until_reply(LoopbackSocket& client, uint32_t code) {
    std::vector<LinkFrame> frames;
    std::vector<uint8_t> pending;
    serve_until([&] {
      client.read_some(pending);
      LinkFrame frame;
      while (library::read_link_frame(pending, frame) == library::FrameRead::Frame) {
        frames.push_back(frame);
        if (frame.kind == library::FrameKind::Reply && frame.code == code) return true;
      }
      return false;
    });
    return frames;
  }
};

std::vector<uint8_t> bytes_of(std::string_view text) { return {text.begin(), text.end()}; }

TEST(DebuggerLink, listens_on_loopback_only) {
  Link link;
  EXPECT_EQ(link.debugger.listener.local_address(), "127.0.0.1");
}

TEST(DebuggerLink, a_misbehaving_debugger_is_dropped_and_the_next_one_is_served) {
  std::vector<uint8_t> valid = library::encode_message(library::kLinkResume, 0, 0);
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"text instead of frames", bytes_of("GET / HTTP/1.0\r\n\r\n")},
      {"a 4 GiB length", {0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3}},
      {"a zero length", {0, 0, 0, 0}},
      {"one byte over the longest frame", {0x01, 0x00, 0x01, 0x00}},
      {"an unknown kind", {1, 0, 0, 0, 9}},
      {"a reply, which only the engine sends", library::encode_reply(library::kLinkResume, 0)},
      {"a message cut short inside its frame", {9, 0, 0, 0, 1, 3, 0xA0, 0, 0, 0, 0, 0, 0}},
      {"a frame cut off by a disconnect", {valid.begin(), valid.begin() + 6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Link link;
    {
      LoopbackSocket bad = link.connect();
      ASSERT_TRUE(bad.write_all(c.bytes));
      // The last case hangs up after half a frame.
    }
    EXPECT_TRUE(link.serve_until([&] { return !link.debugger.client.is_open(); }));
    EXPECT_EQ(link.debugger.resume_count, 0u);

    // The engine goes on: the next debugger is greeted and answered.
    LoopbackSocket good = link.connect();
    std::vector<uint8_t> block = {0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c'};
    ASSERT_TRUE(good.write_all(library::encode_message(library::kLinkEcho, 0, 0, block)));
    std::vector<LinkFrame> frames = link.read_until_reply(good, library::kLinkEcho);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].code, library::kLinkHello);
    EXPECT_EQ(frames[1].code, library::kLinkReady);
    EXPECT_EQ(frames[2].tag, library::kTagEcho);
    EXPECT_EQ(frames[2].data, bytes_of("abc"));
    EXPECT_EQ(frames[3].l, 0);
  }
}

TEST(DebuggerLink, breakpoint_table_refuses_duplicates_and_a_65th_entry) {
  Link link;
  script::Machine& machine = link.test.engine.script;
  auto send = [&](uint32_t code, int32_t w, int32_t l) {
    LinkFrame message;
    message.code = code;
    message.w = w;
    message.l = l;
    return library::handle_debugger_message(machine, link.debugger, message);
  };
  for (int32_t line = 1; line <= 64; ++line) ASSERT_EQ(send(library::kLinkAddBreakpoint, 7, line), 0);
  EXPECT_EQ(send(library::kLinkAddBreakpoint, 7, 3), 1);  // present already: no box
  EXPECT_TRUE(link.test.platform.boxes().empty());
  EXPECT_EQ(send(library::kLinkAddBreakpoint, 7, 65), 1);
  ASSERT_EQ(link.test.platform.boxes().size(), 1u);
  EXPECT_EQ(link.test.platform.boxes()[0].text, "BreakPointが多すぎます。");

  EXPECT_EQ(send(library::kLinkRemoveBreakpoint, 7, 2), 0);
  EXPECT_EQ(send(library::kLinkRemoveBreakpoint, 7, 2), 1);
  ASSERT_EQ(link.debugger.breakpoints.size(), 63u);
  EXPECT_EQ(link.debugger.breakpoints[1].line, 3);  // later entries moved down
  // Stepping is refused outside a break; resuming is counted.
  EXPECT_EQ(send(library::kLinkStep, 0, 0), 0);
  EXPECT_FALSE(link.debugger.step);
  send(library::kLinkResume, 0, 0);
  EXPECT_EQ(link.debugger.resume_count, 1u);
}

TEST(DebuggerLink, a_silent_debugger_is_asked_about_and_no_ends_the_engine_with_status_1) {
  Link link;
  link.debugger.patience_polls = 3;
  library::attach_debugger(link.test.engine.script, link.debugger);
  const std::vector<platform::RecordedBox>& boxes = link.test.platform.boxes();
  // Headless answers Yes three times, then No for the same box repeated.
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].text, "デバッガが応答していません。もう１０秒待ちますか？");
  EXPECT_EQ(boxes[0].buttons, platform::Buttons::YesNo);
  EXPECT_EQ(boxes[3].answer, platform::Answer::No);
  EXPECT_EQ(link.test.engine.script.exit_status, 1);
}

}  // namespace
}  // namespace tavelo::testing
