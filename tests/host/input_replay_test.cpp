// The replayed-input format: every event form, and the reasons a bad line
// stops the parse.

#include "host/input_replay.h"

#include <gtest/gtest.h>

namespace tavelo::host {
namespace {

using platform::EventType;

struct Expected {
  EventType type;
  uint32_t time;
  int32_t key = 0;  // key, or wheel notches, or axis value
  int32_t x = 0;
  int32_t y = 0;
};

TEST(InputReplay, each_form_becomes_the_platform_events_a_desktop_would_send) {
  struct Case {
    const char* line;
    std::vector<Expected> events;
  };
  const Case cases[] = {
      {"10 key Return", {{EventType::KeyDown, 10, 0x0D}, {EventType::KeyUp, 60, 0x0D}}},
      {"10 key left ctrl", {{EventType::KeyDown, 10, 0x11}, {EventType::KeyUp, 60, 0x11}}},
      {"10 key down F1", {{EventType::KeyDown, 10, 0x70}}},
      {"10 key up Space", {{EventType::KeyUp, 10, 0x20}}},
      // "up" alone is the name of the arrow key.
      {"10 key up", {{EventType::KeyDown, 10, 0x26}, {EventType::KeyUp, 60, 0x26}}},
      {"10 click left 5 -7",
       {{EventType::MouseMove, 10, 0, 5, -7}, {EventType::MouseDown, 10, 0, 5, -7}, {EventType::MouseUp, 60, 0, 5, -7}}},
      {"10 mouse down right 1 2", {{EventType::MouseDown, 10, 0, 1, 2}}},
      {"10 mouse up middle 1 2", {{EventType::MouseUp, 10, 0, 1, 2}}},
      {"10 mouse move 3 4", {{EventType::MouseMove, 10, 0, 3, 4}}},
      {"10 wheel -3", {{EventType::Wheel, 10, -3}}},
      {"10 pad start", {{EventType::PadButtonDown, 10}, {EventType::PadButtonUp, 60}}},
      {"10 pad axis lefty -32768", {{EventType::PadAxis, 10, -32768}}},
      {"10 close", {{EventType::CloseRequested, 10}}},
  };
  for (const Case& test_case : cases) {
    ReplayParse parsed = parse_input_replay(test_case.line, "/base");
    ASSERT_FALSE(parsed.error) << test_case.line << ": " << parsed.error->reason;
    ASSERT_EQ(parsed.events.size(), test_case.events.size()) << test_case.line;
    for (size_t i = 0; i < parsed.events.size(); ++i) {
      const platform::Event& event = parsed.events[i];
      const Expected& expected = test_case.events[i];
      EXPECT_EQ(event.type, expected.type) << test_case.line;
      EXPECT_EQ(event.time, expected.time) << test_case.line;
      int32_t value = event.type == EventType::Wheel      ? event.wheel
                      : event.type == EventType::PadAxis  ? event.axis_value
                                                          : event.key;
      EXPECT_EQ(value, expected.key) << test_case.line;
      EXPECT_EQ(event.x, expected.x) << test_case.line;
      EXPECT_EQ(event.y, expected.y) << test_case.line;
    }
  }
}

TEST(InputReplay, text_paths_comments_and_order) {
  ReplayParse parsed = parse_input_replay(
      "# a comment\r\n\r\n   \n0 text  こんにちは world \n5 screenshot shots/a b.png\n5 screenshot /abs.png\n"
      "20 key A\n40 mouse move 1 1\n",
      "/base");
  ASSERT_FALSE(parsed.error) << parsed.error->reason;
  ASSERT_EQ(parsed.events.size(), 6u);
  EXPECT_EQ(parsed.events[0].text, "こんにちは world");
  EXPECT_EQ(parsed.events[1].text, "/base/shots/a b.png");
  EXPECT_EQ(parsed.events[2].text, "/abs.png");
  // The release of A (at 70) comes after the later line's move (at 40).
  EXPECT_EQ(parsed.events[3].type, EventType::KeyDown);
  EXPECT_EQ(parsed.events[4].type, EventType::MouseMove);
  EXPECT_EQ(parsed.events[5].type, EventType::KeyUp);
  EXPECT_EQ(parsed.events[5].time, 70u);
}

TEST(InputReplay, a_bad_line_names_its_number_and_the_reason) {
  struct Case {
    const char* text;
    size_t line;
    const char* reason;
  };
  const Case cases[] = {
      {"key Return", 1, "starts with its time"},
      {"-5 close", 1, "starts with its time"},
      {"99999999999 close", 1, "time out of range"},
      {"2147483648 close", 1, "time out of range"},
      {"10 close\n5 close", 2, "must not decrease"},
      {"10", 1, "event is missing"},
      {"10 jump", 1, "unknown event 'jump'"},
      {"10 key", 1, "needs a key name"},
      {"10 key Hyperspace", 1, "unknown key name 'Hyperspace'"},
      {"10 click left 5", 1, "needs X and Y"},
      {"10 click sideways 5 5", 1, "unknown mouse button 'sideways'"},
      {"10 click left 5 five", 1, "whole numbers"},
      {"10 click left 5 5 5", 1, "unexpected '5'"},
      {"10 mouse move 1 9999999", 1, "out of range"},
      {"10 mouse hover 1 1", 1, "down, up or move"},
      {"10 wheel 0", 1, "notches"},
      {"10 wheel many", 1, "notches"},
      {"10 text", 1, "needs the text"},
      {"10 pad turbo", 1, "unknown controller button 'turbo'"},
      {"10 pad axis leftz 5", 1, "unknown controller axis"},
      {"10 pad axis leftx 40000", 1, "-32768 to 32767"},
      {"10 close now", 1, "unexpected 'now'"},
      {"10 screenshot", 1, "needs a file name"},
      {"# fine\n10 text \xff\xfe", 2, "not UTF-8"},
      {"10 text \xed\xa0\x80", 1, "not UTF-8"},
  };
  for (const Case& test_case : cases) {
    ReplayParse parsed = parse_input_replay(test_case.text, "");
    ASSERT_TRUE(parsed.error) << test_case.text;
    EXPECT_EQ(parsed.error->line, test_case.line) << test_case.text;
    EXPECT_NE(parsed.error->reason.find(test_case.reason), std::string::npos)
        << test_case.text << " gave: " << parsed.error->reason;
    EXPECT_TRUE(parsed.events.empty());
  }
}

}  // namespace
}  // namespace tavelo::host
