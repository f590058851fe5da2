// The about dialog.

#include "dialogs/about_dialog.h"

#include <imgui.h>

#include <algorithm>

#include "dialogs/panel.h"

namespace tavelo::dialogs {
namespace {

// Text fields hold at most what the settings store keeps (259 bytes).
constexpr size_t kFieldBytes = 260;

std::vector<char> field_buffer(const std::string& text) {
  std::vector<char> buffer(kFieldBytes, '\0');
  std::copy_n(text.begin(), std::min(text.size(), kFieldBytes - 1), buffer.begin());
  return buffer;
}

}  // namespace

AboutDialog::AboutDialog(AboutText text) : m_text(std::move(text)) {}

AboutDialog::AboutDialog(AboutText text, AboutDebugText debug)
    : m_text(std::move(text)), m_debug(true), m_debug_text(std::move(debug)) {
  m_watch_buffer = field_buffer(m_debug_text.options.watch_list);
  m_editor_buffer = field_buffer(m_debug_text.options.editor);
}

platform::DialogStatus AboutDialog::draw() {
  paragraph(m_text.app_name);
  paragraph(m_text.version);
  paragraph(m_text.url);
  if (!m_text.support_text.empty() || !m_text.support_url.empty()) {
    ImGui::Spacing();
    paragraph(m_text.support_text);
    paragraph(m_text.support_url);
  }
  if (!m_debug) return ok_row();

  ImGui::Separator();
  paragraph(m_debug_text.position);
  paragraph(m_debug_text.statistics);
  if (!m_debug_text.watched.empty() && ImGui::BeginTable("watch", 2, ImGuiTableFlags_Borders)) {
    for (const WatchedValue& watched : m_debug_text.watched) {
      ImGui::TableNextRow();
      ImGui::TableNextColumn();
      ImGui::TextUnformatted(watched.name.c_str());
      ImGui::TableNextColumn();
      ImGui::TextUnformatted(watched.value.c_str());
    }
    ImGui::EndTable();
  }
  DebugOptions& options = m_debug_text.options;
  ImGui::Checkbox("リプレイで音声を再生しない", &options.replay_no_voice);
  ImGui::Checkbox("リプレイで画像を表示しない", &options.replay_no_picture);
  ImGui::Checkbox("バックログで音声を再生しない", &options.log_no_voice);
  ImGui::Checkbox("バックログで画像を表示しない", &options.log_no_picture);
  ImGui::Checkbox("エラー行をエディタで開く", &options.auto_open_error_line);
  ImGui::Checkbox("音声を速く再生する", &options.fast_voice_play);
  ImGui::SetNextItemWidth(kDialogWidth - 120.0f);
  ImGui::InputText("ウォッチ", m_watch_buffer.data(), m_watch_buffer.size());
  ImGui::SetNextItemWidth(kDialogWidth - 120.0f);
  ImGui::InputText("エディタ", m_editor_buffer.data(), m_editor_buffer.size());
  platform::DialogStatus status = ok_cancel_row();
  if (status == platform::DialogStatus::Accepted) {
    options.watch_list = m_watch_buffer.data();
    options.editor = m_editor_buffer.data();
  }
  return status;
}

}  // namespace tavelo::dialogs
