// The slot dialog.

#include "dialogs/slot_dialog.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cstdio>

#include "dialogs/panel.h"
#include "platform/ui/ui_image.h"

namespace tavelo::dialogs {
namespace {

constexpr std::string_view kSeparator = "∵";
constexpr int32_t kLastSlot = 10001;
constexpr int32_t kNewestQuickSlot = 10003;
constexpr int32_t kPageCount = 10;

// Column widths as the player sees them, padding included.
struct Column {
  const char* label;
  float width;
};
constexpr Column kColumns[] = {{"No", 40}, {"章題", 160}, {"コメント", 240}, {"日時", 120}, {"NEW", 40}};

constexpr float kButtonWidth = 96.0f;
constexpr float kTabFontScale = 0.85f;
constexpr int kKeyReturn = 0x0D;
constexpr int kKeyEscape = 0x1B;
constexpr int kKeySpace = 0x20;
constexpr int kKeyPageUp = 0x21;
constexpr int kKeyPageDown = 0x22;
constexpr int kKeyLeft = 0x25;
constexpr int kKeyUp = 0x26;
constexpr int kKeyRight = 0x27;
constexpr int kKeyDown = 0x28;

bool pressed(int key) { return ImGui::IsKeyPressed(key, true); }

std::string two_digits(const char* format, int a, int b, int c, int d, int e) {
  char text[32];
  std::snprintf(text, sizeof text, format, a % 100, b, c, d, e);
  return text;
}

std::string list_time(const platform::LocalTime& time) {
  return two_digits("%02d/%02d/%02d %02d:%02d", time.year, time.month, time.day, time.hour, time.minute);
}

std::string detail_time(const platform::LocalTime& time) {
  char seconds[8];
  std::snprintf(seconds, sizeof seconds, ":%02d", time.second);
  return list_time(time) + seconds;
}

void fill_row(SlotRow& row, const SlotReader& read) {
  std::optional<SlotFile> file = read(row.slot, ThumbnailRead::Skip);
  if (!file) return;
  SplitComment split = split_comment(file->comment);
  row.chapter = std::move(split.chapter);
  row.comment = std::move(split.comment);
  row.time = list_time(file->time);
  row.thumbnail_height = file->thumbnail_height;
}

// The page's tab: 0…9 the numbered pages, 10 "Auto / Quick".
int32_t tab_of(int32_t page_base) { return (page_base - kFirstPageBase) / 100; }
int32_t base_of(int32_t tab) { return 100 * tab + kFirstPageBase; }

std::string trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return std::string(text);
}

}  // namespace

SplitComment split_comment(std::string_view comment) {
  size_t at = comment.find(kSeparator);
  if (at == std::string_view::npos) return {{}, std::string(comment)};
  return {std::string(comment.substr(0, at)), std::string(comment.substr(at + kSeparator.size()))};
}

std::vector<SlotRow> list_page(int32_t page_base, int32_t newest_slot, const SlotReader& read) {
  std::vector<SlotRow> rows(kRowsPerPage);
  if (page_base == kAutoQuickPageBase) {
    rows[0].slot = kLastSlot;
    rows[0].number = "Auto";
    fill_row(rows[0], read);
    rows[0].marker = "NEW";
    for (int32_t i = 2; i < kRowsPerPage; ++i) {
      SlotRow& row = rows[size_t(i)];
      row.slot = kNewestQuickSlot + i - 2;
      char number[16];
      std::snprintf(number, sizeof number, "Q %02d", i - 1);
      row.number = number;
      fill_row(row, read);
    }
    if (!rows[2].time.empty()) rows[2].marker = "NEW";
    return rows;
  }
  for (int32_t i = 0; i < kRowsPerPage; ++i) {
    SlotRow& row = rows[size_t(i)];
    row.slot = page_base + i;
    char number[16];
    std::snprintf(number, sizeof number, "%3d", page_base / 10 + i - 9);
    row.number = number;
    fill_row(row, read);
    if (row.slot == newest_slot) row.marker = "NEW";
  }
  return rows;
}

int32_t opening_page_base(int32_t stored, SlotDialogMode mode) {
  if (stored == kAutoQuickPageBase) return mode == SlotDialogMode::Load ? stored : kFirstPageBase;
  bool numbered = stored >= kFirstPageBase && stored <= base_of(kPageCount - 1) && (stored - kFirstPageBase) % 100 == 0;
  return numbered ? stored : kFirstPageBase;
}

SlotDialog::SlotDialog(SlotDialogMode mode, int32_t newest_slot, int32_t page_base, SlotReader read)
    : m_mode(mode), m_newest_slot(newest_slot), m_read(std::move(read)) {
  show_page(opening_page_base(page_base, mode));
}

std::string SlotDialog::title() const {
  return m_mode == SlotDialogMode::Load ? "データのロード" : "データのセーブ";
}

int32_t SlotDialog::page_count() const { return m_mode == SlotDialogMode::Load ? kPageCount + 1 : kPageCount; }

void SlotDialog::show_page(int32_t page_base) {
  m_page_base = page_base;
  m_rows = list_page(page_base, m_newest_slot, m_read);
  // A refilled list has no selection, so nothing from the last page can be
  // confirmed by mistake.
  m_selected = -1;
  m_result = -1;
  m_selected_file.reset();
}

void SlotDialog::select_row(int32_t row) {
  if (row == m_selected) return;
  m_selected = row;
  m_result = -1;
  m_selected_file.reset();
  const SlotRow& shown = m_rows[size_t(row)];
  if (shown.slot < 0) return;
  if (m_mode == SlotDialogMode::Save || !shown.time.empty()) m_result = shown.slot;
  m_selected_file = m_read(shown.slot, ThumbnailRead::Read);
}

void SlotDialog::draw_tabs() {
  // All eleven tabs fit over the list, "Page 10" and "Auto / Quick"
  // included: slightly smaller labels, tighter padding.
  ImGui::SetWindowFontScale(kTabFontScale);
  ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(3.0f, ImGui::GetStyle().FramePadding.y));
  ImGui::PushStyleVar(ImGuiStyleVar_ItemInnerSpacing, ImVec2(2.0f, ImGui::GetStyle().ItemInnerSpacing.y));
  if (ImGui::BeginTabBar("pages", ImGuiTabBarFlags_FittingPolicyScroll | ImGuiTabBarFlags_NoTooltip)) draw_tab_items();
  ImGui::PopStyleVar(2);
  ImGui::SetWindowFontScale(1.0f);
}

void SlotDialog::draw_tab_items() {
  // The bar always shows the page's own tab (a page changed by key follows
  // at once); a click on another tab changes the page.
  int32_t shown = tab_of(m_page_base);
  int32_t picked = -1;
  for (int32_t tab = 0; tab < page_count(); ++tab) {
    std::string label = tab == kPageCount ? std::string("Auto / Quick") : "Page " + std::to_string(tab + 1);
    bool open = ImGui::BeginTabItem(label.c_str(), nullptr, tab == shown ? ImGuiTabItemFlags_SetSelected : 0);
    if (ImGui::IsItemClicked(ImGuiMouseButton_Left) && tab != shown) picked = tab;
    if (open) ImGui::EndTabItem();
  }
  ImGui::EndTabBar();
  if (picked >= 0) show_page(base_of(picked));
}

bool SlotDialog::draw_rows() {
  constexpr ImGuiTableFlags kFlags = ImGuiTableFlags_Borders | ImGuiTableFlags_RowBg | ImGuiTableFlags_SizingFixedFit |
                                     ImGuiTableFlags_NoHostExtendX;
  if (!ImGui::BeginTable("slots", int(std::size(kColumns)), kFlags)) return false;
  float padding = 2.0f * ImGui::GetStyle().CellPadding.x;
  for (const Column& column : kColumns) {
    ImGui::TableSetupColumn(column.label, ImGuiTableColumnFlags_WidthFixed, column.width - padding);
  }
  ImGui::TableHeadersRow();
  bool activated = false;
  for (size_t i = 0; i < m_rows.size(); ++i) {
    const SlotRow& row = m_rows[i];
    ImGui::TableNextRow();
    ImGui::TableSetColumnIndex(0);
    std::string label = row.number + "##row" + std::to_string(i);
    bool twice = false;
    if (chosen_row(label.c_str(), m_selected == int32_t(i), twice)) {
      select_row(int32_t(i));
      activated = twice;
    }
    for (const std::string* text : {&row.chapter, &row.comment, &row.time, &row.marker}) {
      ImGui::TableNextColumn();
      ImGui::TextUnformatted(text->c_str());
    }
  }
  ImGui::EndTable();
  return activated;
}

void SlotDialog::draw_details() {
  // At least four lines, and as tall as the page's tallest thumbnail.
  const SlotRow* row = m_selected >= 0 ? &m_rows[size_t(m_selected)] : nullptr;
  int32_t tallest = 0;
  for (const SlotRow& shown : m_rows) tallest = std::max(tallest, shown.thumbnail_height);
  float lines = 4.0f * ImGui::GetTextLineHeightWithSpacing();
  ImGui::BeginGroup();
  ImGui::Dummy(ImVec2(0.0f, std::max(lines, float(tallest))));
  ImGui::EndGroup();
  ImGui::SameLine(0.0f, 0.0f);
  if (m_selected_file && m_selected_file->thumbnail_width > 0) {
    platform::draw_ui_image(m_selected_file->thumbnail, m_selected_file->thumbnail_width,
                            m_selected_file->thumbnail_height);
    ImGui::SameLine();
  }
  ImGui::BeginGroup();
  ImGui::TextUnformatted(row ? ("No. " + trimmed(row->number)).c_str() : "");
  ImGui::PushTextWrapPos(ImGui::GetWindowContentRegionMax().x);
  ImGui::TextUnformatted(row ? row->chapter.c_str() : "");
  ImGui::TextUnformatted(row ? row->comment.c_str() : "");
  ImGui::PopTextWrapPos();
  ImGui::TextUnformatted(m_selected_file ? detail_time(m_selected_file->time).c_str() : "");
  ImGui::EndGroup();
}

platform::DialogStatus SlotDialog::draw() {
  // Centred on the window. Its height changes only with the page (the
  // details keep room for the page's tallest thumbnail), never with the
  // chosen row, so nothing the player is about to click moves.
  const ImGuiViewport* viewport = ImGui::GetMainViewport();
  ImVec2 size = ImGui::GetWindowSize();
  ImGui::SetWindowPos(ImVec2(std::max(0.0f, viewport->GetCenter().x - size.x * 0.5f),
                             std::max(0.0f, viewport->GetCenter().y - size.y * 0.5f)));
  if (pressed(kKeyEscape)) return platform::DialogStatus::Cancelled;
  if (ImGui::IsMouseClicked(ImGuiMouseButton_Right) && ImGui::IsWindowHovered(ImGuiHoveredFlags_RootAndChildWindows)) {
    return platform::DialogStatus::Cancelled;
  }
  // The keyboard and the pad (through the UI layer) work the list directly;
  // ImGui's own navigation would move a second, unrelated focus.
  int32_t tab = tab_of(m_page_base);
  if ((pressed(kKeyLeft) || pressed(kKeyPageUp)) && tab > 0) show_page(base_of(tab - 1));
  if ((pressed(kKeyRight) || pressed(kKeyPageDown)) && tab + 1 < page_count()) show_page(base_of(tab + 1));
  if (pressed(kKeyUp)) select_row(std::max(m_selected - 1, 0));
  if (pressed(kKeyDown)) select_row(std::min(m_selected + 1, kRowsPerPage - 1));
  // A pad's first button arrives as Space.
  bool activated = (ImGui::IsKeyPressed(kKeyReturn, false) || ImGui::IsKeyPressed(kKeySpace, false)) && m_selected >= 0;

  // ImGui's keyboard navigation stays out of this window (the flag is read
  // by the next frame's navigation, before Begin resets it).
  ImGui::GetCurrentWindow()->Flags |= ImGuiWindowFlags_NoNavInputs;
  ImGui::PushItemFlag(ImGuiItemFlags_NoNav | ImGuiItemFlags_NoNavDefaultFocus, true);
  ImGui::TextUnformatted(m_mode == SlotDialogMode::Load ? "ロードするデータを選択してください"
                                                         : "セーブする場所を選択してください");
  draw_tabs();
  activated = draw_rows() || activated;
  // The buttons come before the details, whose thumbnail appears with a
  // selection: they stay where the player saw them.
  ImGui::BeginDisabled(m_result < 0);
  bool ok = ImGui::Button(m_mode == SlotDialogMode::Load ? "ロード" : "セーブ", ImVec2(kButtonWidth, 0.0f));
  ImGui::EndDisabled();
  ImGui::SameLine();
  bool cancel = ImGui::Button("キャンセル", ImVec2(kButtonWidth, 0.0f));
  ImGui::Separator();
  draw_details();
  ImGui::PopItemFlag();

  if (cancel) return platform::DialogStatus::Cancelled;
  if ((ok || activated) && m_result >= 0) return platform::DialogStatus::Accepted;
  return platform::DialogStatus::Pending;
}

}  // namespace tavelo::dialogs
