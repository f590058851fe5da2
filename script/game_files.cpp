// Search-entry registration and file opening with the engine's boxes.

#include "script/game_files.h"

#include "resources/file_lookup.h"
#include "resources/state.h"
#include "script/error_report.h"
#include "script/message_box.h"
#include "script/state.h"

namespace tavelo::script {
namespace {

class MachineScanObserver final : public resources::ScanObserver {
 public:
  explicit MachineScanObserver(Machine& machine) : m_machine(machine) {}

  bool accept_duplicate(std::string_view name, std::string_view first_directory,
                        std::string_view second_directory) override {
    return show_box(m_machine, BoxKind::FatalRetry, "ファイル[ %s ]が[ %s ]と[ %s ]に存在します",
                    {name, first_directory, second_directory});
  }

  bool continue_scan() override {
    if (m_machine.hooks.pump_events) m_machine.hooks.pump_events(m_machine.engine);
    return !m_machine.stopping();
  }

  // Worth one line for the game's author, nothing for the player.
  void skipped_visited_directory(std::string_view directory) override {
    debug_log(m_machine, game_message(m_machine, "フォルダ[ %s ]は検索済みのフォルダを指しているため読み飛ばしました（リンクの循環）",
                                      {directory}));
  }

 private:
  Machine& m_machine;
};

}  // namespace

resources::Registration register_search_entry(Machine& machine, std::string_view name,
                                              resources::SoundOnly sound_only) {
  MachineScanObserver observer(machine);
  resources::Registration result = resources::search_entry_add(machine.resources, name, sound_only, observer);
  if (result == resources::Registration::Damaged) {
    show_box(machine, BoxKind::Error, "ファイル[%s]が破損しています。再インストールしてください", {name});
    request_exit(machine, 255);
  }
  return result;
}

std::optional<platform::File> open_game_file(Machine& machine, std::string_view name, platform::OpenMode mode) {
  while (!machine.stopping()) {
    if (std::optional<platform::File> file = resources::find_game_file(machine.resources, name, mode)) return file;
    if (!show_box(machine, BoxKind::FatalRetry, "Ffopen : ファイル[%s]の読み込みで失敗しました", {name})) break;
  }
  return std::nullopt;
}

}  // namespace tavelo::script
