// The settings dialogs.

#include "dialogs/settings_dialog.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>

#include "dialogs/panel.h"

namespace tavelo::dialogs {
namespace {

constexpr int32_t kVolumeMaximum = 1000;
constexpr int32_t kSpeedSlider = 5000;
// The combined speed page's slider position of the default speed.
constexpr int32_t kSliderDefault = 1000;
constexpr float kSliderWidth = 300.0f;

// The extra dialog's radio groups.
constexpr const char* kColours[] = {"1", "2", "3", "4", "5", "6", "7", "8"};
constexpr const char* kBracketWait[] = {"クリックを待つ", "待たない"};
constexpr const char* kVoiceOnClick[] = {"停止する", "継続する"};

struct TabPage {
  const char* label;
  SettingsPage page;
};

// The combined dialog's tabs, in CONFIG_LASTPAGE order.
constexpr TabPage kTabs[] = {
    {"システム", SettingsPage::Speed},
    {"サウンド", SettingsPage::Sound},
    {"スクリーン", SettingsPage::Screen},
    {"フォント", SettingsPage::Font},
};

constexpr SettingsPage kSoundPages[] = {SettingsPage::Sound};
constexpr SettingsPage kSpeedPages[] = {SettingsPage::Speed};
constexpr SettingsPage kFontPages[] = {SettingsPage::Font};
constexpr SettingsPage kVoicePages[] = {SettingsPage::Voice};
constexpr SettingsPage kExtraPages[] = {SettingsPage::Extra};
constexpr SettingsPage kCombinedPages[] = {SettingsPage::Speed, SettingsPage::Sound, SettingsPage::Screen,
                                           SettingsPage::Font};

// A check box that is ticked when the switch is off ("...をOFF").
void off_box(const char* label, bool& on) {
  bool off = !on;
  if (ImGui::Checkbox(label, &off)) on = !off;
}

void volume_slider(const char* label, int32_t& value) {
  ImGui::SetNextItemWidth(kSliderWidth);
  ImGui::SliderInt(label, &value, 0, kVolumeMaximum);
}

// "高速" at the left of the slider, "低速" at its right.
void speed_slider(const char* label, const char* id, int32_t& position) {
  ImGui::TextUnformatted(label);
  ImGui::TextUnformatted("高速");
  ImGui::SameLine();
  ImGui::SetNextItemWidth(kSliderWidth);
  ImGui::SliderInt(id, &position, 0, kSpeedSlider);
  ImGui::SameLine();
  ImGui::TextUnformatted("低速");
}

// The combined page's slider over a stored speed: value × 1000 / default,
// and back as slider × default / 1000. A default of 0 (or less) cannot
// scale: the slider then shows the stored value itself.
void scaled_speed_slider(const char* label, const char* id, int32_t& value, int32_t default_value) {
  if (default_value <= 0) {
    speed_slider(label, id, value);
    return;
  }
  int32_t position = int32_t(std::clamp<int64_t>(int64_t(value) * kSliderDefault / default_value, 0, kSpeedSlider));
  int32_t before = position;
  speed_slider(label, id, position);
  if (position != before) value = int32_t(int64_t(position) * default_value / kSliderDefault);
}

void radio_group(const char* heading, std::span<const char* const> labels, int32_t& value) {
  ImGui::TextUnformatted(heading);
  ImGui::PushID(heading);
  for (size_t i = 0; i < labels.size(); ++i) {
    if (i > 0 && i % 4 != 0) ImGui::SameLine();
    if (ImGui::RadioButton(labels[i], value == int32_t(i))) value = int32_t(i);
  }
  ImGui::PopID();
}

}  // namespace

SettingsDialog::SettingsDialog(SettingsDialogKind kind, SettingsValues values, SettingsValues defaults,
                               SettingsLayout layout)
    : m_kind(kind),
      m_values(std::move(values)),
      m_defaults(std::move(defaults)),
      m_layout(std::move(layout)),
      m_opening_tab(m_values.last_page) {}

std::string SettingsDialog::title() const {
  switch (m_kind) {
    case SettingsDialogKind::Sound: return "サウンド設定";
    case SettingsDialogKind::Speed: return "スピード設定";
    case SettingsDialogKind::Font: return "字体選択";
    case SettingsDialogKind::Voice: return "音声個別設定";
    case SettingsDialogKind::Extra: return "拡張設定";
    case SettingsDialogKind::Combined: return "コンフィグレーション";
  }
  return {};
}

std::span<const SettingsPage> SettingsDialog::pages() const {
  switch (m_kind) {
    case SettingsDialogKind::Sound: return kSoundPages;
    case SettingsDialogKind::Speed: return kSpeedPages;
    case SettingsDialogKind::Font: return kFontPages;
    case SettingsDialogKind::Voice: return kVoicePages;
    case SettingsDialogKind::Extra: return kExtraPages;
    case SettingsDialogKind::Combined: return kCombinedPages;
  }
  return {};
}

SettingsPage SettingsDialog::visible_page() const {
  if (m_kind != SettingsDialogKind::Combined) return pages().front();
  return kTabs[size_t(std::clamp(m_values.last_page, 0, int32_t(std::size(kTabs)) - 1))].page;
}

platform::DialogStatus SettingsDialog::draw() {
  // The keyboard and the pad act on the first control from the first press,
  // which shows as chosen (a dialog opened by a script has seen no key yet).
  if (ImGui::IsWindowAppearing()) ImGui::GetCurrentContext()->NavDisableHighlight = false;
  if (m_kind == SettingsDialogKind::Combined) {
    if (ImGui::BeginTabBar("pages")) {
      for (size_t i = 0; i < std::size(kTabs); ++i) {
        // The stored tab is asked for once, when the dialog opens. The tab
        // bar shows its first tab for that one frame all the same and the
        // asked-for one from the next, so only the tabs it shows from then
        // on are the tab the dialog is on.
        const bool opening = int32_t(i) == m_opening_tab;
        ImGuiTabItemFlags flags = !m_tab_chosen && opening ? ImGuiTabItemFlags_SetSelected : 0;
        if (ImGui::BeginTabItem(kTabs[i].label, nullptr, flags)) {
          if (m_tab_chosen || opening) m_values.last_page = int32_t(i);
          draw_page(kTabs[i].page);
          ImGui::EndTabItem();
        }
      }
      m_tab_chosen = true;
      ImGui::EndTabBar();
    }
  } else {
    draw_page(visible_page());
  }
  switch (reset_ok_cancel_row()) {
    case RowChoice::Reset: copy_page(visible_page(), m_defaults, m_values); break;
    case RowChoice::Accept: return platform::DialogStatus::Accepted;
    case RowChoice::Cancel: return platform::DialogStatus::Cancelled;
    case RowChoice::None: break;
  }
  return platform::DialogStatus::Pending;
}

void SettingsDialog::draw_page(SettingsPage page) {
  bool combined = m_kind == SettingsDialogKind::Combined;
  switch (page) {
    case SettingsPage::Sound: combined ? draw_combined_sound() : draw_sound(); break;
    case SettingsPage::Speed: combined ? draw_combined_speed() : draw_speed(); break;
    case SettingsPage::Screen: draw_screen_options(m_values.screen); break;
    case SettingsPage::Font: draw_font(); break;
    case SettingsPage::Voice: draw_voice(); break;
    case SettingsPage::Extra: draw_extra(); break;
    case SettingsPage::Count: break;
  }
}

void SettingsDialog::draw_sound() {
  SettingsValues& values = m_values;
  volume_slider("音声", values.voice_volume);
  volume_slider("音楽", values.music_volume);
  volume_slider("効果音", values.sound_volume);
  // The switches two to a line, so the combined dialog's page fits a
  // 640 × 480 window.
  float column = ImGui::GetCursorPosX() + kDialogWidth / 2.0f;
  if (!m_layout.male_label.empty()) {
    off_box(m_layout.male_label.c_str(), values.talk_male);
    ImGui::SameLine(column);
  }
  off_box(m_layout.female_label.c_str(), values.talk_female);
  off_box("音楽をＯＦＦ", values.play_music);
  ImGui::SameLine(column);
  off_box("効果音をOFF", values.play_sound);
  ImGui::Checkbox("文章を読み上げる (Alt+R)", &values.read_aloud);
}

void SettingsDialog::draw_combined_sound() {
  draw_sound();
  SettingsValues& values = m_values;
  ImGui::Separator();
  // Ticked means the voice stops: VoiceContinue 0.
  off_box("次テキスト表示時に音声を停止する", values.voice_continue);
  ImGui::Checkbox("人物の場所に合わせて音声をパンニング", &values.voice_panning);
  ImGui::Checkbox("音声再生中にBGM音量を下げる", &values.voice_musicdown);
  volume_slider("BGM音量", values.voice_musicdown_volume);
}

void SettingsDialog::draw_speed() {
  SettingsValues& values = m_values;
  speed_slider("画面効果", "##effect", values.effect_speed);
  speed_slider("文字表示", "##text", values.text_speed);
  speed_slider("オートモード", "##auto", values.auto_speed);
  if (m_layout.ctrl_option) ImGui::Checkbox("CTRLキーのスキップ動作は既読のみ", &values.ctrl_read_only);
}

void SettingsDialog::draw_combined_speed() {
  SettingsValues& values = m_values;
  const std::array<int32_t, 3>& defaults = m_layout.speed_defaults;
  scaled_speed_slider("画面効果", "##effect", values.effect_speed, defaults[0]);
  scaled_speed_slider("文字表示", "##text", values.text_speed, defaults[1]);
  scaled_speed_slider("オートモード", "##auto", values.auto_speed, defaults[2]);
  if (m_layout.ctrl_option) ImGui::Checkbox("CTRLキーのスキップ動作は既読のみ", &values.ctrl_read_only);
  ImGui::Checkbox("選択肢後もスキップを継続", &values.keep_fast_skip);
  if (m_layout.quick_questions) {
    ImGui::Checkbox("クイックロード時に確認ダイアログを表示する", &values.quickload_failsafe);
    ImGui::Checkbox("クイックセーブ時に確認ダイアログを表示する", &values.quicksave_failsafe);
  }
}

void SettingsDialog::draw_font() {
  SettingsValues& values = m_values;
  const std::vector<std::string>& faces = m_layout.faces;
  ImGui::SetNextItemWidth(kDialogWidth);
  if (ImGui::BeginCombo("##face", values.face.c_str())) {
    for (const std::string& face : faces) {
      bool selected = face == values.face;
      if (ImGui::Selectable(face.c_str(), selected)) values.face = face;
      if (selected) ImGui::SetItemDefaultFocus();
    }
    ImGui::EndCombo();
  }
  // The preview: the face's name and a sample line at the message text's
  // size (24 pixels), in the dialogs' own font.
  ImGui::BeginChild("preview", ImVec2(kDialogWidth, 72.0f), true);
  ImGui::SetWindowFontScale(1.5f);
  ImGui::TextUnformatted(values.face.c_str());
  ImGui::TextUnformatted(kFontSample);
  ImGui::EndChild();
  ImGui::Checkbox("欧文レイアウト (単語で改行)", &values.text_layout_alphabetic);
  ImGui::Checkbox("文章をクリップボードへ", &values.text_to_clipboard);
  ImGui::Checkbox("文章を WebSocket へ", &values.text_to_socket);
  ImGui::SameLine();
  ImGui::SetNextItemWidth(120.0f);
  if (ImGui::InputInt("ポート", &values.text_socket_port, 0)) {
    values.text_socket_port = std::clamp(values.text_socket_port, 1, 65535);
  }
  if (m_kind != SettingsDialogKind::Combined) return;
  ImGui::Checkbox("アンチエイリアス", &values.font_anti);
  ImGui::Checkbox("影付き", &values.font_shadow);
  ImGui::Checkbox("縁取り", &values.font_outline);
  ImGui::Checkbox("太字", &values.font_bold);
}

void SettingsDialog::draw_voice() {
  SettingsValues& values = m_values;
  int shown = 0;
  for (size_t i = 0; i < values.voice_levels.size(); ++i) {
    const std::string& name = m_layout.voice_names[i];
    if (name.empty()) continue;
    if (shown % 3 != 0) ImGui::SameLine(float(shown % 3) * (kDialogWidth / 3.0f) + ImGui::GetStyle().WindowPadding.x);
    ++shown;
    ImGui::PushID(int(i));
    bool off = values.voice_levels[i] == 0;
    if (ImGui::Checkbox(name.c_str(), &off)) values.voice_levels[i] = off ? 0 : 1000;
    ImGui::PopID();
  }
  for (const std::string& note : m_layout.voice_notes) {
    if (!note.empty()) paragraph(note);
  }
  off_box("音声は全てOFF", values.talk_female);
}

void SettingsDialog::draw_extra() {
  SettingsValues& values = m_values;
  radio_group("ウインドウの色", kColours, values.window_color);
  radio_group("閉じ括弧の後のクリック待ち", kBracketWait, values.kokka_wait);
  radio_group("クリック時の音声", kVoiceOnClick, values.speaker_click);
  // The two scene modes are kept but not shown.
  ImGui::Checkbox("男性の音声をカット", &values.voice_cut_male);
  ImGui::Checkbox("女性の音声をカット", &values.voice_cut_female);
}

}  // namespace tavelo::dialogs
