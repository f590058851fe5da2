#pragma once
// The base of the engine's in-window dialogs. Their contents are drawn with
// Dear ImGui inside the modal window the platform's UI layer opens for a
// platform::DialogContent (once per UI frame, main thread); this module
// holds the pieces every dialog shares: the button row that ends it and the
// layout constants. The about and screen-option dialogs are built on it, and
// later settings dialogs join them.

#include <string_view>

#include "platform/platform.h"

namespace tavelo::dialogs {

// Width of a dialog's text and fields, in pixels.
inline constexpr float kDialogWidth = 420.0f;

// An OK button at the foot (Enter presses it): Accepted once pressed.
platform::DialogStatus ok_row();
// OK and Cancel (Enter and Escape): Accepted or Cancelled once pressed.
platform::DialogStatus ok_cancel_row();
// The settings dialogs' foot: "初期化" at the left, OK and Cancel at the
// right. Return accepts unless a field or slider is being edited (then it
// ends the edit); Escape and a right click anywhere in the UI cancel.
enum class RowChoice : uint8_t { None, Reset, Accept, Cancel };
RowChoice reset_ok_cancel_row();

// A row of a list the player chooses from (the first cell of a table row,
// spanning all columns): hovering only tints it, the chosen row is filled.
// True when it was clicked; double is set on a double click.
bool chosen_row(const char* label, bool chosen, bool& double_click);

// A paragraph of UTF-8 text wrapped at the dialog's width; nothing for "".
void paragraph(std::string_view text);

}  // namespace tavelo::dialogs
