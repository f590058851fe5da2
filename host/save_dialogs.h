#pragma once
// The dialogs that choose where a game is saved or loaded from: the slot
// dialog (dialogs/slot_dialog.h) filled from the slot files, and the
// save-as and load-from-file dialogs with their directory and checks. The
// persistence system calls and the main window's menu requests call these;
// both wait for the platform's dialog in between.

#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace tavelo::host {

struct Engine;

enum class SlotDialogPurpose { Save, Load };

// A slot dialog at the page the settings store keeps, reading the slot files
// as the player pages through them; the newest slot's row is marked.
std::shared_ptr<platform::DialogContent> make_slot_dialog(Engine& engine, SlotDialogPurpose purpose,
                                                          int32_t newest_slot);
// After the dialog (content is what make_slot_dialog made): keeps its page in
// the settings store; the chosen slot, or -1 when it was not confirmed.
int32_t finish_slot_dialog(Engine& engine, const platform::DialogContent& content, platform::DialogStatus status);

// The save-as dialog proposing a name from the current comment and time, and
// the load-from-file dialog; both open in the directory of the last file
// chosen, or in "savedata" under the current directory.
platform::DialogRequest save_as_request(Engine& engine);
platform::DialogRequest load_file_request(Engine& engine);
// After them: 0 when the snapshot was written (or saves are switched off) or
// the load started; -1 when cancelled, refused or failed, with the box a
// failure shows.
int32_t finish_save_as(Engine& engine, const platform::DialogOutcome& outcome);
int32_t finish_load_file(Engine& engine, const platform::DialogOutcome& outcome);

}  // namespace tavelo::host
