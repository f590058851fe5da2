// The save-as and load-from-file dialogs.

#include "dialogs/file_dialog.h"

#include <cstdio>

namespace tavelo::dialogs {
namespace {

struct Replacement {
  char from;
  std::string_view to;
};
constexpr Replacement kReplacements[] = {
    {'\\', "￥"}, {'/', "／"}, {':', "："}, {',', "，"}, {';', "；"}, {'*', "＊"},
    {'?', "？"},  {'\'', "”"}, {'<', "＜"}, {'>', "＞"}, {'|', "｜"},
};

}  // namespace

std::string proposed_save_name(std::string_view comment, const platform::LocalTime& now) {
  // The comment is UTF-8 here, where no byte of a multi-byte character is
  // ASCII, so a plain byte scan never splits one.
  std::string name;
  for (char c : comment) {
    const Replacement* found = nullptr;
    for (const Replacement& replacement : kReplacements) {
      if (replacement.from == c) found = &replacement;
    }
    if (found) {
      name += found->to;
    } else {
      name += c;
    }
  }
  char stamp[96];
  std::snprintf(stamp, sizeof stamp, "（%02d年%02d月%02d日 %02d時%02d分）.sav", now.year % 100, now.month, now.day,
                now.hour, now.minute);
  return name + stamp;
}

platform::DialogRequest file_dialog_request(FileDialogPurpose purpose, const std::string& directory,
                                            std::string_view proposed_name) {
  platform::DialogRequest request;
  request.filter = "ゲームデータ (*.sav)";
  request.default_extension = "sav";
  if (purpose == FileDialogPurpose::SaveAs) {
    request.kind = platform::DialogKind::SaveFile;
    request.title = "データに名前を指定してセーブ";
    request.text = directory + "/" + std::string(proposed_name);
  } else {
    request.kind = platform::DialogKind::OpenFile;
    request.title = "データの名前を指定してロード";
    request.text = directory + "/";
  }
  return request;
}

}  // namespace tavelo::dialogs
