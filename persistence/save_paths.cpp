// Save file names to host paths.

#include "persistence/save_paths.h"

#include "persistence/save_file.h"
#include "platform/file_system.h"
#include "resources/settings.h"
#include "resources/state.h"

namespace tavelo::persistence {

std::optional<std::string> save_path(resources::State& resources, std::string_view name, bool make_directory) {
  const std::string& root = resources::save_root(resources);
  if (make_directory && !platform::resolve_path("savedata", root)) platform::make_directories(root + "/savedata");
  if (std::optional<std::string> existing = platform::resolve_path(name, root)) return existing;
  if (std::optional<std::string> parent = platform::resolve_parent_path(name, root)) return parent;
  return root + "/" + platform::to_slashes(name);
}

std::string slot_path(resources::State& resources, int32_t slot, bool make_directory) {
  int32_t quick_num = resources::read_user_setting(resources, resources::UserSetting::QuickNum);
  return *save_path(resources, slot_file_name(slot, quick_num), make_directory);
}

}  // namespace tavelo::persistence
