// Arbitrary bytes as mouse areas and a stream of platform events for the
// input slots, the controller, the area poll and the drag tracker: key codes
// beyond the slots, unknown buttons, pads and axes, huge or negative area
// sizes and pointer places are taken without reading or writing outside the
// tables, and a poll never asks for a function of an area that is not there.

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "host/engine.h"
#include "input/input.h"
#include "input/mouse_areas.h"
#include "input/state.h"
#include "platform/headless/headless_platform.h"
#include "platform/text_encoding.h"
#include "resources/byte_reader.h"
#include "script/thread.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo;
  static const std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create("CP932");
  platform::HeadlessPlatform platform{platform::AnswerPolicy{}};
  platform.set_echo_to_stderr(false);
  host::Engine engine(platform, *encoding, "/nonexistent-fuzz-directory");
  input::State& state = engine.input;
  std::unique_ptr<script::Thread> thread = script::new_thread(0);
  resources::ByteReader reader(std::span<const uint8_t>(data, size));

  // Header: area count, joystick use and mapping mode, the thread's depth.
  int areas = reader.u8() % 9;
  state.pad.use = reader.u8() & 1;
  state.pad.mapping_mode = 1 + (reader.u8() & 1);
  thread->depth = reader.u8() % 4;
  for (int i = 0; i < areas && reader.ok; ++i) {
    script::MouseArea area;
    area.id = int32_t(reader.u8());
    area.x = int32_t(reader.u32le());
    area.y = int32_t(reader.u32le());
    area.width = int32_t(reader.u32le());
    area.height = int32_t(reader.u32le());
    area.key_code = reader.u8();
    area.depth = reader.u8() % 4;
    area.enter = 1;
    area.leave = 2;
    area.click = 3;
    thread->mouse_areas.push_back(area);
  }
  thread->frame().mouse_words[input::kWordLeft] = 4;
  input::start_drag_tracking(state, 5, 6, 7);

  while (reader.ok) {
    platform::Event event;
    event.type = platform::EventType(reader.u8() % (uint8_t(platform::EventType::Screenshot) + 1));
    event.key = int32_t(int16_t(reader.u16le()));
    event.repeat = reader.u8() & 1;
    event.button = platform::MouseButton(reader.u8() % 3);
    event.clicks = reader.u8() % 3;
    event.pad_button = platform::PadButton(reader.u8());
    event.pad_axis = platform::PadAxis(reader.u8());
    event.axis_value = int32_t(int16_t(reader.u16le()));
    event.wheel = int8_t(reader.u8());
    input::PointerPlace place{int32_t(reader.u32le()), int32_t(reader.u32le()), (reader.u8() & 1) != 0};
    if (!reader.ok) break;
    input::handle_event(state, engine.script, event, place);
    if (event.type == platform::EventType::MouseDown || event.type == platform::EventType::MouseUp) {
      input::track_drag_message(state, event.button == platform::MouseButton::Right ? input::DragSide::Right
                                                                                     : input::DragSide::Left,
                                event.type == platform::EventType::MouseUp ? input::DragMessage::Up
                                : event.clicks >= 2                         ? input::DragMessage::DoubleClick
                                                                            : input::DragMessage::Down,
                                place.x, place.y, platform.ticks_ms());
    }
    platform.advance_clock(uint32_t(event.repeat ? 300 : 10));
    input::poll_pad(state, engine.script);
    input::freeze_input(state);
    thread->pending_left = state.clicks.left.happened;
    thread->pending_right = state.clicks.right.happened;
    state.clicks.left.happened = state.clicks.right.happened = false;
    input::ScriptCall call = input::poll_mouse_areas(state, *thread);
    if (call.wanted && (call.function < 1 || call.function > 4)) std::abort();
    call = input::poll_drag(state, platform.ticks_ms());
    if (call.wanted && (call.function < 5 || call.function > 7) && call.function != 0) std::abort();
  }
  return 0;
}
