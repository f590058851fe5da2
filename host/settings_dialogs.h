#pragma once
// The settings dialogs as the engine runs them: what scripts set for them
// (the chosen face, the voice dialog's names and notes), opening one with the
// stored values and the environment's defaults, following it while it is
// open (the playing music follows the music slider), and on OK writing its
// pages back and applying them (volumes and switches reach the playing
// streams, the CTRL option the skip state, the screen page the display
// modes). The menus (host/main_window) and the system calls
// (host/settings_syscalls) both go through here.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dialogs/settings_dialog.h"
#include "platform/font_lookup.h"

namespace tavelo::host {

struct Engine;

struct SettingsDialogState {
  // The font choice, in game text: the face (at most 259 bytes), whether the
  // list offers proportional faces, and a face listed whatever its pitch.
  std::string face;
  int32_t proportional = 0;
  std::string allowed_face;
  // The voice dialog's box labels (empty: no box) and note lines, game text.
  std::array<std::string, resources::kVoiceSetupLevels> voice_names;
  std::array<std::string, dialogs::kVoiceNotes> voice_notes;
  // The music volume stored when the last dialog opened, and the one last
  // given to the playing music while it is open (nullopt: the stored one).
  int32_t stored_music_volume = 0;
  std::optional<int32_t> previewed_music_volume;
  // The dialogs system calls opened, by platform dialog id, while they wait.
  std::vector<std::pair<platform::DialogId, std::shared_ptr<dialogs::SettingsDialog>>> script_dialogs;
  // Installed faces are listed when a font page opens.
  platform::FontLookup fonts;
};

// A dialog filled from the store, ready for Platform::open_dialog.
std::shared_ptr<dialogs::SettingsDialog> make_settings_dialog(Engine& engine, dialogs::SettingsDialogKind kind);

// Once a frame (or slice) while it is open.
void follow_settings_dialog(Engine& engine, const dialogs::SettingsDialog& dialog);

// After it ended: OK writes and applies its pages; either way the combined
// dialog stores its tab and the music returns to the stored volume.
void finish_settings_dialog(Engine& engine, const dialogs::SettingsDialog& dialog, bool accepted);

// The faces the font page lists for the current choice (UTF-8).
std::vector<std::string> listed_faces(Engine& engine);

}  // namespace tavelo::host
