#pragma once
// The engine's message boxes and questions as an in-window dialog: the text,
// an icon and Japanese buttons, drawn by the UI layer like every other
// dialog. Return presses the first button (Retry, Yes, OK), Escape the last
// (Cancel, No); Y and N answer a question, R retries; the pointer, Tab,
// the arrow keys and a game controller move between the buttons as in any
// dialog. Main thread only.

#include <string>

#include "platform/platform.h"

namespace tavelo::platform {

class MessageBoxPanel final : public DialogContent {
 public:
  explicit MessageBoxPanel(const MessageBoxRequest& request);

  std::string title() const override { return m_caption; }
  DialogStatus draw() override;

  // The button pressed; meaningful once draw() has returned Accepted.
  Answer answer() const { return m_answer; }

 private:
  std::string m_caption;
  std::string m_text;
  Buttons m_buttons;
  Icon m_icon;
  Answer m_answer;
};

// The buttons of a box in order, with their Japanese labels: the first is
// the default (Return), the last the one Escape presses.
struct BoxButton {
  Answer answer;
  const char* label;
};
int box_buttons(Buttons buttons, BoxButton (&out)[2]);

}  // namespace tavelo::platform
