#pragma once
// The screen-option dialog: which monitor shapes full screen prefers, whether
// a switched display fits the game to it, whether the window keeps its place
// and state, the window size used in wide set-ups, and this engine's own
// choices of how a full screen scales the game and whether it switches the
// display's mode. The main window fills the values from the settings store
// and writes back what the player accepted. Texts are UTF-8.

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace tavelo::dialogs {

struct ScreenOptions {
  int32_t wide_choice = 0;      // FullScWide5, 0..5
  bool fit = false;             // FullScreenFit
  bool save_position = true;    // SaveScreenpos
  int32_t wide_width = 0;       // RegWidth3
  int32_t wide_height = 0;      // RegHeight3
  int32_t scaling = 0;          // FullScreenScaling: 0 fit, 1 whole multiples, 2 stretched
  bool exclusive = false;       // FullScreenExclusive

  bool operator==(const ScreenOptions&) const = default;
};

// The controls without the buttons; the combined settings dialog's screen
// page draws them too.
void draw_screen_options(ScreenOptions& options);

class ScreenOptionsDialog final : public platform::DialogContent {
 public:
  explicit ScreenOptionsDialog(ScreenOptions options) : m_options(options) {}

  std::string title() const override { return "スクリーン詳細設定"; }
  platform::DialogStatus draw() override;

  const ScreenOptions& options() const { return m_options; }

 private:
  ScreenOptions m_options;
};

}  // namespace tavelo::dialogs
