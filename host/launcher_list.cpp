// The launcher's list of known games.

#include "host/launcher_list.h"

#include <algorithm>
#include <cstdio>

#include "platform/file_system.h"

namespace tavelo::host {
namespace {

constexpr std::string_view kHeader = "# Tavelo: the games the launcher lists (last played, tab, folder)\n";
constexpr std::string_view kNeverPlayed = "-";

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// "YYYY-MM-DD hh:mm" with plausible numbers.
bool valid_play_time(std::string_view text) {
  constexpr std::string_view kShape = "0000-00-00 00:00";
  if (text.size() != kShape.size()) return false;
  for (size_t i = 0; i < kShape.size(); ++i) {
    if (kShape[i] == '0' ? !is_digit(text[i]) : text[i] != kShape[i]) return false;
  }
  auto number = [&](size_t at, size_t length) {
    int value = 0;
    for (size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - '0');
    return value;
  };
  int month = number(5, 2), day = number(8, 2), hour = number(11, 2), minute = number(14, 2);
  return month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour <= 23 && minute <= 59;
}

std::string without_trailing_slashes(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string list_path(const std::string& settings_directory) {
  return settings_directory + "/" + std::string(kGameListFileName);
}

}  // namespace

bool listable_folder(std::string_view folder) {
  if (folder.empty() || folder.front() != '/') return false;
  return std::none_of(folder.begin(), folder.end(), [](char c) { return uint8_t(c) < 0x20 || c == 0x7F; });
}

std::vector<KnownGame> parse_game_list(std::string_view text) {
  std::vector<KnownGame> games;
  while (!text.empty()) {
    size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    size_t tab = line.find('\t');
    if (tab == std::string_view::npos) continue;
    std::string_view played = line.substr(0, tab);
    std::string folder = without_trailing_slashes(std::string(line.substr(tab + 1)));
    if (played != kNeverPlayed && !valid_play_time(played)) continue;
    if (!listable_folder(folder)) continue;
    if (std::any_of(games.begin(), games.end(), [&](const KnownGame& game) { return game.folder == folder; })) continue;
    games.push_back({std::move(folder), played == kNeverPlayed ? std::string() : std::string(played)});
  }
  return games;
}

std::string format_game_list(const std::vector<KnownGame>& games) {
  std::string text(kHeader);
  for (const KnownGame& game : games) {
    if (!listable_folder(game.folder)) continue;
    text += game.last_played.empty() ? std::string(kNeverPlayed) : game.last_played;
    text += '\t';
    text += game.folder;
    text += '\n';
  }
  return text;
}

std::string play_time_text(const platform::LocalTime& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", std::clamp(time.year, 0, 9999),
                std::clamp(time.month, 1, 12), std::clamp(time.day, 1, 31), std::clamp(time.hour, 0, 23),
                std::clamp(time.minute, 0, 59));
  return text;
}

std::vector<KnownGame> read_game_list(const std::string& settings_directory) {
  std::optional<std::vector<uint8_t>> bytes = platform::read_file(list_path(settings_directory));
  if (!bytes) return {};
  return parse_game_list(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

bool write_game_list(const std::string& settings_directory, const std::vector<KnownGame>& games) {
  if (!platform::make_directories(settings_directory)) return false;
  std::string text = format_game_list(games);
  return platform::write_file_atomically(
      list_path(settings_directory), std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

bool add_known_game(std::vector<KnownGame>& games, const std::string& folder) {
  std::string normal = without_trailing_slashes(folder);
  if (!listable_folder(normal)) return false;
  if (std::none_of(games.begin(), games.end(), [&](const KnownGame& game) { return game.folder == normal; })) {
    games.push_back({normal, {}});
  }
  return true;
}

void remove_known_game(std::vector<KnownGame>& games, const std::string& folder) {
  std::string normal = without_trailing_slashes(folder);
  std::erase_if(games, [&](const KnownGame& game) { return game.folder == normal; });
}

void note_game_played(std::vector<KnownGame>& games, const std::string& folder, const platform::LocalTime& now) {
  std::string normal = without_trailing_slashes(folder);
  if (!listable_folder(normal)) return;
  remove_known_game(games, normal);
  games.insert(games.begin(), {normal, play_time_text(now)});
}

void note_game_played_in(const std::optional<std::string>& settings_directory, const std::string& folder,
                         const platform::LocalTime& now) {
  if (!settings_directory) return;
  std::vector<KnownGame> games = read_game_list(*settings_directory);
  note_game_played(games, folder, now);
  (void)write_game_list(*settings_directory, games);
}

}  // namespace tavelo::host
