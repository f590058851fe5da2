// The launcher's window contents.

#include "dialogs/launcher_panel.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>

#include "dialogs/panel.h"
#include "platform/ui/ui_image.h"

namespace tavelo::dialogs {
namespace {

constexpr int kKeyReturn = 0x0D;
constexpr int kKeyEscape = 0x1B;
constexpr int kKeySpace = 0x20;
constexpr int kKeyUp = 0x26;
constexpr int kKeyDown = 0x28;
constexpr int kKeyInsert = 0x2D;
constexpr int kKeyDelete = 0x2E;
constexpr float kButtonWidth = 130.0f;
constexpr float kListHeight = 190.0f;
constexpr float kTitleWidth = 190.0f;
constexpr float kFolderWidth = 230.0f;
constexpr float kPlayedWidth = 140.0f;

bool pressed(int key) { return ImGui::IsKeyPressed(key, true); }
bool pressed_once(int key) { return ImGui::IsKeyPressed(key, false); }

}  // namespace

LauncherPanel::LauncherPanel(std::vector<LauncherRow> rows, int32_t selected, std::string notice)
    : m_rows(std::move(rows)), m_notice(std::move(notice)) {
  m_selected = m_rows.empty() ? -1 : std::clamp(selected, 0, int32_t(m_rows.size()) - 1);
}

bool LauncherPanel::can_play() const { return m_selected >= 0 && !m_rows[size_t(m_selected)].missing; }
bool LauncherPanel::can_remove() const { return m_selected >= 0 && !m_rows[size_t(m_selected)].bundled; }

bool LauncherPanel::draw_rows() {
  constexpr ImGuiTableFlags kFlags = ImGuiTableFlags_Borders | ImGuiTableFlags_RowBg | ImGuiTableFlags_SizingFixedFit |
                                     ImGuiTableFlags_ScrollY | ImGuiTableFlags_NoHostExtendX;
  float width = kTitleWidth + kFolderWidth + kPlayedWidth;
  if (!ImGui::BeginTable("games", 3, kFlags, ImVec2(width, kListHeight))) return false;
  float padding = 2.0f * ImGui::GetStyle().CellPadding.x;
  ImGui::TableSetupScrollFreeze(0, 1);
  ImGui::TableSetupColumn("タイトル", ImGuiTableColumnFlags_WidthFixed, kTitleWidth - padding);
  ImGui::TableSetupColumn("フォルダ", ImGuiTableColumnFlags_WidthFixed, kFolderWidth - padding);
  ImGui::TableSetupColumn("最終プレイ", ImGuiTableColumnFlags_WidthFixed, kPlayedWidth - padding);
  ImGui::TableHeadersRow();
  bool activated = false;
  for (size_t i = 0; i < m_rows.size(); ++i) {
    const LauncherRow& row = m_rows[i];
    ImGui::TableNextRow();
    ImGui::TableSetColumnIndex(0);
    std::string label = row.title + "##game" + std::to_string(i);
    bool twice = false;
    if (chosen_row(label.c_str(), m_selected == int32_t(i), twice)) {
      m_selected = int32_t(i);
      activated = twice;
    }
    ImGui::TableNextColumn();
    ImGui::TextUnformatted(row.folder.c_str());
    ImGui::TableNextColumn();
    ImGui::TextUnformatted(row.missing ? "（見つかりません）" : row.last_played.empty() ? "未プレイ" : row.last_played.c_str());
  }
  ImGui::EndTable();
  return activated;
}

void LauncherPanel::draw_details() {
  const LauncherRow* row = m_selected >= 0 ? &m_rows[size_t(m_selected)] : nullptr;
  const ImVec2 thumbnail{float(kLauncherThumbnailWidth), float(kLauncherThumbnailHeight)};
  ImVec2 corner = ImGui::GetCursorScreenPos();
  if (row && row->thumbnail_width > 0) {
    platform::draw_ui_image(row->thumbnail, row->thumbnail_width, row->thumbnail_height);
  } else {
    // The placeholder: a framed box of the thumbnail's size.
    ImDrawList* draw = ImGui::GetWindowDrawList();
    draw->AddRectFilled(corner, ImVec2(corner.x + thumbnail.x, corner.y + thumbnail.y),
                        ImGui::GetColorU32(ImGuiCol_FrameBg));
    draw->AddRect(corner, ImVec2(corner.x + thumbnail.x, corner.y + thumbnail.y), ImGui::GetColorU32(ImGuiCol_Border));
    const char* text = "セーブなし";
    ImVec2 size = ImGui::CalcTextSize(text);
    draw->AddText(ImVec2(corner.x + (thumbnail.x - size.x) * 0.5f, corner.y + (thumbnail.y - size.y) * 0.5f),
                  ImGui::GetColorU32(ImGuiCol_TextDisabled), text);
  }
  // The details keep the thumbnail's height whatever the game: nothing moves.
  ImGui::SetCursorScreenPos(ImVec2(corner.x + thumbnail.x + ImGui::GetStyle().ItemSpacing.x, corner.y));
  ImGui::BeginGroup();
  ImGui::PushTextWrapPos(ImGui::GetWindowContentRegionMax().x);
  if (row) {
    ImGui::TextUnformatted(row->title.c_str());
    ImGui::TextUnformatted(row->folder.c_str());
    std::string played = "最終プレイ: " + (row->last_played.empty() ? std::string("未プレイ") : row->last_played);
    ImGui::TextUnformatted(played.c_str());
    if (row->missing) ImGui::TextUnformatted("フォルダが見つかりません");
    if (row->bundled) ImGui::TextUnformatted("付属のデモ");
  }
  ImGui::PopTextWrapPos();
  ImGui::EndGroup();
  ImGui::SetCursorScreenPos(ImVec2(corner.x, corner.y + thumbnail.y + ImGui::GetStyle().ItemSpacing.y));
  ImGui::Dummy(ImVec2(0.0f, 0.0f));
}

platform::DialogStatus LauncherPanel::draw() {
  const ImGuiViewport* viewport = ImGui::GetMainViewport();
  ImVec2 size = ImGui::GetWindowSize();
  ImGui::SetWindowPos(ImVec2(std::max(0.0f, viewport->GetCenter().x - size.x * 0.5f),
                             std::max(0.0f, viewport->GetCenter().y - size.y * 0.5f)));
  if (pressed_once(kKeyEscape)) {
    m_action = LauncherAction::Quit;
    return platform::DialogStatus::Cancelled;
  }
  // The keyboard and the pad work the list directly (as in the slot dialog);
  // ImGui's own navigation stays out of this window.
  int32_t last = int32_t(m_rows.size()) - 1;
  if (pressed(kKeyUp) && m_selected > 0) --m_selected;
  if (pressed(kKeyDown) && m_selected < last) ++m_selected;
  bool play = pressed_once(kKeyReturn) || pressed_once(kKeySpace);
  bool remove = pressed_once(kKeyDelete);
  bool add = pressed_once(kKeyInsert);

  ImGui::GetCurrentWindow()->Flags |= ImGuiWindowFlags_NoNavInputs;
  ImGui::PushItemFlag(ImGuiItemFlags_NoNav | ImGuiItemFlags_NoNavDefaultFocus, true);
  ImGui::TextUnformatted("遊ぶゲームを選んでください");
  play = draw_rows() || play;
  draw_details();
  if (!m_notice.empty()) ImGui::TextUnformatted(m_notice.c_str());
  ImGui::Separator();
  ImGui::BeginDisabled(!can_play());
  play = ImGui::Button("プレイ", ImVec2(kButtonWidth, 0.0f)) || play;
  ImGui::EndDisabled();
  ImGui::SameLine();
  add = ImGui::Button("ゲームを追加", ImVec2(kButtonWidth, 0.0f)) || add;
  ImGui::SameLine();
  ImGui::BeginDisabled(!can_remove());
  remove = ImGui::Button("一覧から外す", ImVec2(kButtonWidth, 0.0f)) || remove;
  ImGui::EndDisabled();
  ImGui::SameLine();
  bool quit = ImGui::Button("終了", ImVec2(kButtonWidth, 0.0f));
  ImGui::PopItemFlag();

  if (quit) {
    m_action = LauncherAction::Quit;
    return platform::DialogStatus::Cancelled;
  }
  if (play && can_play()) {
    m_action = LauncherAction::Play;
  } else if (add) {
    m_action = LauncherAction::Add;
  } else if (remove && can_remove()) {
    m_action = LauncherAction::Remove;
  }
  return m_action == LauncherAction::None ? platform::DialogStatus::Pending : platform::DialogStatus::Accepted;
}

}  // namespace tavelo::dialogs
