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

void draw_screen_options(ScreenOptions& options) {
  ImGui::TextUnformatted("フルスクリーンの解像度");
  int wide = options.wide_choice % 3;
  for (const Choice& choice : kWideChoices) {
    if (ImGui::RadioButton(choice.label, wide == choice.value)) options.wide_choice = choice.value;
  }
  ImGui::Checkbox("解像度を切り替える", &options.exclusive);
  ImGui::Checkbox("切り替えた画面に合わせて拡大する", &options.fit);
  ImGui::Separator();
  ImGui::TextUnformatted("フルスクリーンでの拡大");
  for (const Choice& choice : kScalings) {
    if (ImGui::RadioButton(choice.label, options.scaling == choice.value)) options.scaling = choice.value;
  }
  ImGui::Separator();
  ImGui::Checkbox("ウインドウの位置と状態を保存する", &options.save_position);
  ImGui::TextUnformatted("ワイドモードのウインドウサイズ");
  ImGui::SetNextItemWidth(120.0f);
  ImGui::InputInt("幅", &options.wide_width, 0);
  ImGui::SameLine();
  ImGui::SetNextItemWidth(120.0f);
  ImGui::InputInt("高さ", &options.wide_height, 0);
  options.wide_width = std::clamp(options.wide_width, 0, 1920);
  options.wide_height = std::clamp(options.wide_height, 0, 1200);
}

platform::DialogStatus ScreenOptionsDialog::draw() {
  draw_screen_options(m_options);
  return ok_cancel_row();
}

}  // namespace tavelo::dialogs
