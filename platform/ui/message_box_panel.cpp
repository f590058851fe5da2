// The in-window message box.

#include "platform/ui/message_box_panel.h"

#include <imgui.h>

#include <algorithm>

namespace tavelo::platform {
namespace {

constexpr float kTextWidth = 420.0f;
constexpr float kButtonWidth = 110.0f;
constexpr float kIconSize = 32.0f;
constexpr int kKeyReturn = 0x0D;
constexpr int kKeyEscape = 0x1B;

bool pressed_key(int key) { return ImGui::IsKeyPressed(key, false); }

// A round sign at the left of the text, in the colours desktops use.
void draw_icon(Icon icon) {
  const char* sign = nullptr;
  ImU32 colour = 0;
  switch (icon) {
    case Icon::None: return;
    case Icon::Error: sign = "×", colour = IM_COL32(200, 40, 40, 255); break;
    case Icon::Warning: sign = "！", colour = IM_COL32(220, 160, 0, 255); break;
    case Icon::Question: sign = "？", colour = IM_COL32(40, 90, 200, 255); break;
    case Icon::Information: sign = "ｉ", colour = IM_COL32(40, 90, 200, 255); break;
  }
  ImVec2 corner = ImGui::GetCursorScreenPos();
  ImDrawList* draw_list = ImGui::GetWindowDrawList();
  ImVec2 centre(corner.x + kIconSize / 2, corner.y + kIconSize / 2);
  draw_list->AddCircleFilled(centre, kIconSize / 2, colour);
  ImVec2 size = ImGui::CalcTextSize(sign);
  draw_list->AddText(ImVec2(centre.x - size.x / 2, centre.y - size.y / 2), IM_COL32_WHITE, sign);
  ImGui::Dummy(ImVec2(kIconSize, kIconSize));
  ImGui::SameLine();
}

}  // namespace

int box_buttons(Buttons buttons, BoxButton (&out)[2]) {
  switch (buttons) {
    case Buttons::Ok: out[0] = {Answer::Ok, "OK"}; return 1;
    case Buttons::OkCancel:
      out[0] = {Answer::Ok, "OK"};
      out[1] = {Answer::Cancel, "キャンセル"};
      return 2;
    case Buttons::YesNo:
      out[0] = {Answer::Yes, "はい(Y)"};
      out[1] = {Answer::No, "いいえ(N)"};
      return 2;
    case Buttons::RetryCancel:
      out[0] = {Answer::Retry, "再試行(R)"};
      out[1] = {Answer::Cancel, "キャンセル"};
      return 2;
  }
  out[0] = {Answer::Ok, "OK"};
  return 1;
}

MessageBoxPanel::MessageBoxPanel(const MessageBoxRequest& request)
    : m_caption(request.caption), m_text(request.text), m_buttons(request.buttons), m_icon(request.icon) {
  BoxButton buttons[2];
  box_buttons(m_buttons, buttons);
  m_answer = buttons[0].answer;
}

DialogStatus MessageBoxPanel::draw() {
  BoxButton buttons[2];
  int count = box_buttons(m_buttons, buttons);
  draw_icon(m_icon);
  ImGui::PushTextWrapPos(ImGui::GetCursorPosX() + kTextWidth);
  ImGui::TextUnformatted(m_text.c_str());
  ImGui::PopTextWrapPos();
  ImGui::Spacing();
  ImGui::Spacing();
  float spacing = ImGui::GetStyle().ItemSpacing.x;
  float row = float(count) * kButtonWidth + float(count - 1) * spacing;
  float right = std::max(ImGui::GetWindowContentRegionMax().x, kTextWidth);
  ImGui::SetCursorPosX(std::max(ImGui::GetCursorPosX(), right - row));
  int pressed = -1;
  for (int i = 0; i < count; ++i) {
    if (i > 0) ImGui::SameLine();
    if (ImGui::Button(buttons[i].label, ImVec2(kButtonWidth, 0.0f))) pressed = i;
    if (i == 0 && ImGui::IsWindowAppearing()) ImGui::SetItemDefaultFocus();
  }
  // A button that has the keyboard's focus is pressed by Space (or the
  // pad's A); Return always means the default button, as on the desktop.
  if (pressed < 0 && pressed_key(kKeyReturn)) pressed = 0;
  if (pressed < 0 && pressed_key(kKeyEscape)) pressed = count - 1;
  for (int i = 0; i < count && pressed < 0; ++i) {
    int key = 0;
    if (buttons[i].answer == Answer::Yes) key = 'Y';
    if (buttons[i].answer == Answer::No) key = 'N';
    if (buttons[i].answer == Answer::Retry) key = 'R';
    if (key != 0 && pressed_key(key)) pressed = i;
  }
  if (pressed < 0) return DialogStatus::Pending;
  m_answer = buttons[pressed].answer;
  return DialogStatus::Accepted;
}

}  // namespace tavelo::platform
