// The screen-option dialog.

#include "dialogs/screen_options_dialog.h"

#include <imgui.h>

#include <algorithm>

#include "dialogs/panel.h"

namespace tavelo::dialogs {
namespace {

struct Choice {
  const char* label;
  int value;
};

// The wide choices: which shape of display mode full screen looks for first.
// Values 3 to 5 search as 0 to 2 do; a stored one stays unless changed.
constexpr Choice kWideChoices[] = {
    {"標準(4:3優先)", 0},
    {"標準(16:10優先)", 1},
    {"標準(16:9優先)", 2},
};

constexpr Choice kScalings[] = {
    {"縦横比を保って拡大", 0},
    {"整数倍で拡大", 1},
    {"画面全体に引き伸ばす", 2},
};

}  // namespace

platform::DialogStatus ScreenOptionsDialog::draw() {
  ImGui::TextUnformatted("フルスクリーンの解像度");
  int wide = m_options.wide_choice % 3;
  for (const Choice& choice : kWideChoices) {
    if (ImGui::RadioButton(choice.label, wide == choice.value)) m_options.wide_choice = choice.value;
  }
  ImGui::Checkbox("解像度を切り替える", &m_options.exclusive);
  ImGui::Checkbox("切り替えた画面に合わせて拡大する", &m_options.fit);
  ImGui::Separator();
  ImGui::TextUnformatted("フルスクリーンでの拡大");
  for (const Choice& choice : kScalings) {
    if (ImGui::RadioButton(choice.label, m_options.scaling == choice.value)) m_options.scaling = choice.value;
  }
  ImGui::Separator();
  ImGui::Checkbox("ウインドウの位置と状態を保存する", &m_options.save_position);
  ImGui::TextUnformatted("ワイドモードのウインドウサイズ");
  ImGui::SetNextItemWidth(120.0f);
  ImGui::InputInt("幅", &m_options.wide_width, 0);
  ImGui::SameLine();
  ImGui::SetNextItemWidth(120.0f);
  ImGui::InputInt("高さ", &m_options.wide_height, 0);
  m_options.wide_width = std::clamp(m_options.wide_width, 0, 1920);
  m_options.wide_height = std::clamp(m_options.wide_height, 0, 1200);
  return ok_cancel_row();
}

}  // namespace tavelo::dialogs
