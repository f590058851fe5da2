#pragma once
// The save-as and load-from-file dialogs: what the platform's file dialog is
// asked (title, filter, default extension, where it opens, the proposed
// name). The host's save operations (host/save_dialogs.cpp) open them from
// the system calls and the menu and act on the chosen path. Texts are UTF-8.

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tavelo::dialogs {

enum class FileDialogPurpose { SaveAs, LoadFrom };

// "<comment>（yy年mm月dd日 hh時mm分）.sav". Characters a file name cannot
// hold (\ / : , ; * ? ' < > |) become their full-width forms.
std::string proposed_save_name(std::string_view comment, const platform::LocalTime& now);

// The request: a save dialog proposing directory/proposed_name, or an open
// dialog starting in directory.
platform::DialogRequest file_dialog_request(FileDialogPurpose purpose, const std::string& directory,
                                            std::string_view proposed_name);

}  // namespace tavelo::dialogs
