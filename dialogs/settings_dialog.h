#pragma once
// The settings dialogs: sound, speed, font, per-character voices, extra
// options, and the combined dialog whose tabs hold the speed, sound, screen
// and font pages. Each edits a SettingsValues record (dialogs/settings_values.h)
// that the host filled; "初期化" copies the visible page's defaults, OK and
// Cancel end the dialog, and the host then writes the dialog's pages back
// (OK) or leaves the store alone (Cancel). While it is open the host follows
// values that take effect at once (the music volume) through values().
// Texts are UTF-8. Drawn on the main thread by the platform's UI layer.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "dialogs/settings_values.h"
#include "platform/platform.h"

namespace tavelo::dialogs {

enum class SettingsDialogKind : uint8_t { Sound, Speed, Font, Voice, Extra, Combined };

// The font dialog's sample line. The dialogs' font is Japanese (IPA
// Gothic): the title and the sample are written in Japanese characters, so
// no glyph is missing.
inline constexpr const char* kFontSample = "これは文字の見本です。１２３４";

inline constexpr int kVoiceNotes = 15;

// What shapes a dialog besides its values.
struct SettingsLayout {
  // The sound page's voice boxes; an empty male label removes that box.
  std::string male_label = "男性の音声をＯＦＦ";
  std::string female_label = "女性の音声をＯＦＦ";
  bool ctrl_option = false;     // CTRLKEYDEF non-zero
  bool quick_questions = true;  // the quick-load default is not 2
  // The combined speed page shows value × 1000 / default: EFFECTSPEED,
  // MOJISPEED, AUTOSPEED.
  std::array<int32_t, 3> speed_defaults{1000, 1000, 1000};
  std::vector<std::string> faces;  // the font list
  // Voice boxes (an empty name removes the box) and the note lines.
  std::array<std::string, resources::kVoiceSetupLevels> voice_names;
  std::array<std::string, kVoiceNotes> voice_notes;
};

class SettingsDialog final : public platform::DialogContent {
 public:
  SettingsDialog(SettingsDialogKind kind, SettingsValues values, SettingsValues defaults, SettingsLayout layout);

  std::string title() const override;
  platform::DialogStatus draw() override;

  SettingsDialogKind kind() const { return m_kind; }
  const SettingsValues& values() const { return m_values; }
  // The pages OK writes back.
  std::span<const SettingsPage> pages() const;

 private:
  void draw_page(SettingsPage page);
  void draw_sound();
  void draw_speed();
  void draw_font();
  void draw_voice();
  void draw_extra();
  void draw_combined_speed();
  void draw_combined_sound();
  SettingsPage visible_page() const;

  SettingsDialogKind m_kind;
  SettingsValues m_values;
  SettingsValues m_defaults;
  SettingsLayout m_layout;
  // The tab the combined dialog opens on (the stored CONFIG_LASTPAGE), and
  // whether the tab bar has been asked for it.
  int32_t m_opening_tab = 0;
  bool m_tab_chosen = false;
};

}  // namespace tavelo::dialogs
