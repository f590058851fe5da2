// The in-window file chooser.

#include "platform/ui/file_chooser.h"

#include <imgui.h>

#include <algorithm>
#include <cstring>

namespace tavelo::platform {
namespace {

constexpr float kListWidth = 480.0f;
constexpr float kListHeight = 220.0f;
constexpr float kButtonWidth = 96.0f;
constexpr int kKeyReturn = 0x0D;
constexpr int kKeyEscape = 0x1B;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string lowered(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), lower);
  return out;
}

std::string parent_of(const std::string& directory) {
  size_t slash = directory.find_last_of('/');
  if (slash == std::string::npos) return directory;
  return slash == 0 ? std::string("/") : directory.substr(0, slash);
}

std::string joined(const std::string& directory, std::string_view name) {
  if (!name.empty() && name.front() == '/') return std::string(name);
  return directory == "/" ? "/" + std::string(name) : directory + "/" + std::string(name);
}

}  // namespace

std::vector<std::string> filter_patterns(std::string_view filter) {
  std::vector<std::string> patterns;
  size_t open = filter.rfind('(');
  size_t close = filter.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) return patterns;
  std::string_view inside = filter.substr(open + 1, close - open - 1);
  while (!inside.empty()) {
    size_t end = std::min(inside.find(';'), inside.size());
    std::string_view pattern = inside.substr(0, end);
    while (!pattern.empty() && pattern.front() == ' ') pattern.remove_prefix(1);
    while (!pattern.empty() && pattern.back() == ' ') pattern.remove_suffix(1);
    if (!pattern.empty()) patterns.push_back(lowered(pattern));
    inside.remove_prefix(std::min(end + 1, inside.size()));
  }
  return patterns;
}

// Only the shapes filters use: "*", "*.*" and "*.ext".
bool matches_patterns(const std::vector<std::string>& patterns, std::string_view name) {
  if (patterns.empty()) return true;
  std::string lower_name = lowered(name);
  for (const std::string& pattern : patterns) {
    if (pattern == "*" || pattern == "*.*") return true;
    if (pattern.size() > 1 && pattern.front() == '*') {
      std::string_view tail = std::string_view(pattern).substr(1);
      if (lower_name.size() >= tail.size() && lower_name.compare(lower_name.size() - tail.size(), tail.size(), tail) == 0) {
        return true;
      }
    } else if (pattern == lower_name) {
      return true;
    }
  }
  return false;
}

FileChooser::FileChooser(const DialogRequest& request)
    : m_kind(request.kind),
      m_title(request.title),
      m_default_extension(request.default_extension),
      m_patterns(filter_patterns(request.filter)) {
  // The proposal is a directory, or a path whose directory opens with its
  // name already filled in.
  std::string proposal = request.text.empty() ? current_directory() : request.text;
  if (proposal.front() != '/') proposal = joined(current_directory(), proposal);
  std::string name;
  if (!is_directory(proposal)) {
    size_t slash = proposal.find_last_of('/');
    name = proposal.substr(slash + 1);
    proposal = slash == 0 ? std::string("/") : proposal.substr(0, slash);
  }
  while (proposal.size() > 1 && proposal.back() == '/') proposal.pop_back();
  // A directory not made yet opens at its nearest existing parent.
  while (proposal.size() > 1 && !is_directory(proposal)) proposal = parent_of(proposal);
  std::strncpy(m_name, name.c_str(), sizeof m_name - 1);
  enter_directory(proposal);
}

void FileChooser::enter_directory(std::string directory) {
  m_directory = std::move(directory);
  m_items.clear();
  std::vector<DirectoryItem> items;
  if (list_directory(m_directory, items)) {
    for (DirectoryItem& item : items) {
      if (item.hidden) continue;
      if (item.is_directory || matches_patterns(m_patterns, item.name)) m_items.push_back(std::move(item));
    }
  }
  std::stable_partition(m_items.begin(), m_items.end(), [](const DirectoryItem& item) { return item.is_directory; });
  m_asking_overwrite = false;
}

bool FileChooser::accept_name() {
  std::string name(m_name);
  if (name.empty()) return false;
  std::string path = joined(m_directory, name);
  if (is_directory(path)) {
    enter_directory(path);
    m_name[0] = '\0';
    return false;
  }
  size_t slash = name.find_last_of('/');
  if (!m_default_extension.empty() && name.find('.', slash == std::string::npos ? 0 : slash + 1) == std::string::npos) {
    path += "." + m_default_extension;
  }
  if (m_kind == DialogKind::OpenFile) {
    if (!is_file(path)) {
      m_notice = "ファイルが見つかりません";
      return false;
    }
  } else if (is_file(path) && !m_asking_overwrite) {
    m_asking_overwrite = true;
    m_notice = "既に存在します。上書きしますか？";
    return false;
  }
  m_chosen = path;
  return true;
}

DialogStatus FileChooser::draw() {
  ImGui::TextUnformatted(m_directory.c_str());
  if (ImGui::Button("上のフォルダへ")) enter_directory(parent_of(m_directory));
  bool accept = false;
  ImGui::BeginChild("files", ImVec2(kListWidth, kListHeight), true);
  for (size_t i = 0; i < m_items.size(); ++i) {
    const DirectoryItem& item = m_items[i];
    std::string label = (item.is_directory ? "[" + item.name + "]" : item.name) + "##" + std::to_string(i);
    bool chosen = !item.is_directory && item.name == m_name;
    if (ImGui::Selectable(label.c_str(), chosen,
                          ImGuiSelectableFlags_AllowDoubleClick | ImGuiSelectableFlags_DontClosePopups)) {
      bool twice = ImGui::IsMouseDoubleClicked(0);
      if (item.is_directory) {
        if (twice) {
          enter_directory(joined(m_directory, item.name));
          break;
        }
      } else {
        std::strncpy(m_name, item.name.c_str(), sizeof m_name - 1);
        m_asking_overwrite = false;
        m_notice.clear();
        accept = twice;
      }
    }
  }
  ImGui::EndChild();
  ImGui::SetNextItemWidth(kListWidth);
  // The name field has the keyboard from the start: a name or a whole path
  // can be typed at once.
  if (m_focus_name) {
    ImGui::SetKeyboardFocusHere();
    m_focus_name = false;
  }
  if (ImGui::InputText("##name", m_name, sizeof m_name)) {
    m_asking_overwrite = false;
    m_notice.clear();
  }
  if (!m_notice.empty()) ImGui::TextUnformatted(m_notice.c_str());
  ImGui::Separator();
  const char* ok_label = m_asking_overwrite ? "上書き" : (m_kind == DialogKind::OpenFile ? "開く" : "保存");
  accept = ImGui::Button(ok_label, ImVec2(kButtonWidth, 0.0f)) || accept;
  ImGui::SameLine();
  bool cancel = ImGui::Button("キャンセル", ImVec2(kButtonWidth, 0.0f));
  if (cancel || ImGui::IsKeyPressed(kKeyEscape, false)) return DialogStatus::Cancelled;
  if (ImGui::IsKeyPressed(kKeyReturn, false)) accept = true;
  if (accept && accept_name()) return DialogStatus::Accepted;
  return DialogStatus::Pending;
}

}  // namespace tavelo::platform
