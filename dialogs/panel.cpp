// Shared pieces of the in-window dialogs.

#include "dialogs/panel.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <string>

namespace tavelo::dialogs {
namespace {

constexpr float kButtonWidth = 96.0f;
constexpr int kKeyReturn = 0x0D;
constexpr int kKeyEscape = 0x1B;

// Keys reach ImGui under the engine's virtual-key codes.
bool pressed_key(int key) { return ImGui::IsKeyPressed(key, false); }

}  // namespace

bool chosen_row(const char* label, bool chosen, bool& double_click) {
  ImVec4 filled = ImGui::GetStyleColorVec4(ImGuiCol_Header);
  ImGui::PushStyleColor(ImGuiCol_HeaderHovered, ImVec4(filled.x, filled.y, filled.z, 0.12f));
  ImGui::PushStyleColor(ImGuiCol_Header, ImVec4(filled.x, filled.y, filled.z, 0.75f));
  ImGui::PushStyleColor(ImGuiCol_HeaderActive, ImVec4(filled.x, filled.y, filled.z, 0.75f));
  bool clicked = ImGui::Selectable(label, chosen,
                                   ImGuiSelectableFlags_SpanAllColumns | ImGuiSelectableFlags_AllowDoubleClick |
                                       ImGuiSelectableFlags_DontClosePopups);
  ImGui::PopStyleColor(3);
  double_click = clicked && ImGui::IsMouseDoubleClicked(0);
  return clicked;
}

platform::DialogStatus ok_row() {
  ImGui::Separator();
  ImGui::SetCursorPosX(ImGui::GetCursorPosX() + kDialogWidth - kButtonWidth);
  bool ok = ImGui::Button("OK", ImVec2(kButtonWidth, 0.0f));
  if (ok || pressed_key(kKeyReturn) || pressed_key(kKeyEscape)) return platform::DialogStatus::Accepted;
  return platform::DialogStatus::Pending;
}

platform::DialogStatus ok_cancel_row() {
  ImGui::Separator();
  float spacing = ImGui::GetStyle().ItemSpacing.x;
  ImGui::SetCursorPosX(ImGui::GetCursorPosX() + kDialogWidth - 2 * kButtonWidth - spacing);
  bool ok = ImGui::Button("OK", ImVec2(kButtonWidth, 0.0f));
  ImGui::SameLine();
  bool cancel = ImGui::Button("キャンセル", ImVec2(kButtonWidth, 0.0f));
  if (cancel || pressed_key(kKeyEscape)) return platform::DialogStatus::Cancelled;
  if (ok || pressed_key(kKeyReturn)) return platform::DialogStatus::Accepted;
  return platform::DialogStatus::Pending;
}

RowChoice reset_ok_cancel_row() {
  ImGui::Separator();
  bool reset = ImGui::Button("初期化", ImVec2(kButtonWidth, 0.0f));
  ImGui::SameLine();
  float spacing = ImGui::GetStyle().ItemSpacing.x;
  ImGui::SetCursorPosX(ImGui::GetWindowContentRegionMin().x + kDialogWidth - 2 * kButtonWidth - spacing);
  bool ok = ImGui::Button("OK", ImVec2(kButtonWidth, 0.0f));
  ImGui::SameLine();
  bool cancel = ImGui::Button("キャンセル", ImVec2(kButtonWidth, 0.0f));
  // A Return that ends the typing of a value (or starts it, on a slider)
  // belongs to that control, not to the dialog.
  const ImGuiContext& context = *ImGui::GetCurrentContext();
  bool editing = context.ActiveId != 0 || context.ActiveIdPreviousFrame != 0;
  if (cancel || pressed_key(kKeyEscape) || ImGui::IsMouseClicked(ImGuiMouseButton_Right)) return RowChoice::Cancel;
  if (ok || (!editing && pressed_key(kKeyReturn))) return RowChoice::Accept;
  if (reset) return RowChoice::Reset;
  return RowChoice::None;
}

void paragraph(std::string_view text) {
  if (text.empty()) return;
  ImGui::PushTextWrapPos(ImGui::GetCursorPosX() + kDialogWidth);
  ImGui::TextUnformatted(text.data(), text.data() + text.size());
  ImGui::PopTextWrapPos();
}

}  // namespace tavelo::dialogs
