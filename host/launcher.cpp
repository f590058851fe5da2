// The launcher.

#include "host/launcher.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "graphics/page.h"
#include "graphics/picture_png.h"
#include "host/launcher_list.h"
#include "host/startup.h"
#include "persistence/save_file.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "platform/text_encoding.h"
#include "resources/environment.h"

namespace tavelo::host {
namespace {

constexpr std::string_view kEnvironmentFile = "tavelo.env";
constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;
constexpr uint8_t kBackground[3] = {0x30, 0x24, 0x1C};  // blue, green, red
constexpr uint32_t kRestMs = 15;
// The longest text the environment gives a title or a section name.
constexpr size_t kTitleBytes = 129;

std::string folder_name(const std::string& folder) {
  size_t slash = folder.find_last_of('/');
  return slash == std::string::npos ? folder : folder.substr(slash + 1);
}

std::string parent_folder(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool has_suffix(const std::string& name, std::string_view suffix) {
  if (name.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    char c = name[name.size() - suffix.size() + i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

// The environment file as the game reads it: a byte-order mark means UTF-8,
// otherwise its CODEPAGE (CP932 when it names none).
struct GameEnvironment {
  std::unique_ptr<platform::TextEncoding> encoding;
  resources::Environment environment;
};

std::optional<GameEnvironment> read_environment(const std::string& folder) {
  std::optional<std::vector<uint8_t>> bytes = platform::read_file(folder + "/" + std::string(kEnvironmentFile));
  if (!bytes) return std::nullopt;
  std::string text(bytes->begin(), bytes->end());
  GameEnvironment game;
  bool utf8 = text.starts_with("\xEF\xBB\xBF");
  if (utf8) text.erase(0, 3);
  game.encoding = platform::TextEncoding::create(utf8 ? "UTF-8" : "CP932");
  if (!game.encoding) return std::nullopt;
  game.environment = resources::parse_environment(text, game.encoding->lead_bytes());
  std::string wanted = resources::env_text(game.environment, game.encoding->lead_bytes(), "CODEPAGE", kTitleBytes, "");
  if (!utf8 && !wanted.empty()) {
    if (std::unique_ptr<platform::TextEncoding> other = platform::TextEncoding::create(wanted)) {
      game.encoding = std::move(other);
      game.environment = resources::parse_environment(text, game.encoding->lead_bytes());
    }
  }
  return game;
}

// The save root the game will have: its folder, or the per-user one when the
// folder cannot be written.
std::optional<std::string> save_root_of(const std::string& folder, const std::optional<GameEnvironment>& game) {
  if (platform::is_writable_directory(folder) || !game) return folder;
  const platform::TextEncoding& encoding = *game->encoding;
  const resources::LeadByteTable& lead = encoding.lead_bytes();
  return per_user_save_root(encoding, resources::env_text(game->environment, lead, "REG_GLOBAL", kTitleBytes, "TAVELO_SYSTEM"),
                            resources::env_text(game->environment, lead, "REG_LOCAL", kTitleBytes, "TAVELO_RUNTIME"));
}

// The newest save file's thumbnail, reduced (by sampling) to fit the panel.
void add_thumbnail(dialogs::LauncherRow& row, const std::string& save_root) {
  std::string directory = save_root + "/savedata";
  std::vector<platform::DirectoryItem> items;
  if (!platform::list_directory(directory, items)) return;
  std::string newest;
  uint64_t newest_time = 0;
  for (const platform::DirectoryItem& item : items) {
    if (item.is_directory || !has_suffix(item.name, ".sav")) continue;
    uint64_t time = platform::file_time(directory + "/" + item.name);
    if (newest.empty() || time > newest_time) {
      newest = item.name;
      newest_time = time;
    }
  }
  if (newest.empty()) return;
  std::optional<std::vector<uint8_t>> bytes = platform::read_file(directory + "/" + newest);
  persistence::SaveSummary summary;
  if (!bytes || !persistence::read_save_summary(*bytes, summary, true) || summary.thumbnail_width <= 0 ||
      summary.thumbnail.size() < size_t(summary.thumbnail_width) * size_t(summary.thumbnail_height) * 3) {
    return;
  }
  int32_t step = 1;
  while (summary.thumbnail_width / step > dialogs::kLauncherThumbnailWidth ||
         summary.thumbnail_height / step > dialogs::kLauncherThumbnailHeight) {
    ++step;
  }
  row.thumbnail_width = summary.thumbnail_width / step;
  row.thumbnail_height = summary.thumbnail_height / step;
  row.thumbnail.resize(size_t(row.thumbnail_width) * size_t(row.thumbnail_height) * 3);
  for (int32_t y = 0; y < row.thumbnail_height; ++y) {
    for (int32_t x = 0; x < row.thumbnail_width; ++x) {
      const uint8_t* from = summary.thumbnail.data() + (size_t(y * step) * size_t(summary.thumbnail_width) + size_t(x * step)) * 3;
      std::copy_n(from, 3, row.thumbnail.data() + (size_t(y) * size_t(row.thumbnail_width) + size_t(x)) * 3);
    }
  }
}

void write_screenshot(platform::Platform& platform, const std::string& path) {
  std::vector<uint8_t> pixels;
  int32_t width = 0;
  int32_t height = 0;
  if (!platform.read_presented_frame(pixels, width, height)) return;
  graphics::Page page = graphics::make_page(width, height, graphics::Depth::Rgb24);
  for (int32_t y = 0; y < height; ++y) {
    std::copy_n(pixels.data() + size_t(y) * size_t(width) * 3, size_t(width) * 3, page.row(y));
  }
  std::vector<uint8_t> png = graphics::encode_png(page);
  if (png.empty() || !platform::write_file_atomically(path, png)) {
    std::fprintf(stderr, "[input] screenshot %s could not be written\n", path.c_str());
  }
}

class Launcher {
 public:
  Launcher(platform::Platform& platform, LauncherSetup setup) : m_platform(platform), m_setup(std::move(setup)) {
    if (m_setup.settings_directory) m_games = read_game_list(*m_setup.settings_directory);
  }

  LauncherEnd run();

 private:
  void open_list(std::string notice);
  void deliver_replay();
  // False once the player quit (close button, signal).
  bool take_events();
  void save_list() {
    if (m_setup.settings_directory) (void)write_game_list(*m_setup.settings_directory, m_games);
  }
  void act(const dialogs::LauncherPanel& panel);
  void take_chosen_folder(const platform::DialogOutcome& outcome);

  platform::Platform& m_platform;
  LauncherSetup m_setup;
  std::vector<KnownGame> m_games;
  std::vector<std::string> m_shown;  // the folders of the rows shown
  std::shared_ptr<dialogs::LauncherPanel> m_panel;
  platform::DialogId m_dialog = 0;
  bool m_choosing = false;  // the dialog open is the file chooser
  int32_t m_selected = 0;
  uint32_t m_start = 0;
  size_t m_next_event = 0;
  std::optional<std::string> m_chosen;
  bool m_quit = false;
};

void Launcher::open_list(std::string notice) {
  std::vector<dialogs::LauncherRow> rows;
  m_shown.clear();
  std::string line = "[launcher] games:";
  auto add_row = [&](const std::string& folder, const std::string& last_played, bool bundled) {
    dialogs::LauncherRow row = describe_game(folder, last_played);
    row.bundled = bundled;
    line += (rows.empty() ? " " : " | ") + row.title + " (" + folder + (row.missing ? ", missing" : "") + ")";
    rows.push_back(std::move(row));
    m_shown.push_back(folder);
  };
  auto played = std::find_if(m_games.begin(), m_games.end(),
                             [&](const KnownGame& game) { return game.folder == m_setup.bundled_demo; });
  add_row(m_setup.bundled_demo, played == m_games.end() ? std::string() : played->last_played, true);
  for (const KnownGame& game : m_games) {
    if (game.folder != m_setup.bundled_demo) add_row(game.folder, game.last_played, false);
  }
  std::fprintf(stderr, "%s\n", line.c_str());
  m_selected = std::clamp(m_selected, 0, int32_t(rows.size()) - 1);
  m_panel = std::make_shared<dialogs::LauncherPanel>(std::move(rows), m_selected, std::move(notice));
  platform::DialogRequest request;
  request.kind = platform::DialogKind::Panel;
  request.content = m_panel;
  m_dialog = m_platform.open_dialog(request);
  m_choosing = false;
}

void Launcher::deliver_replay() {
  uint32_t elapsed = m_platform.ticks_ms() - m_start;
  std::vector<platform::Event>& replay = m_setup.replay;
  while (m_next_event < replay.size() && replay[m_next_event].time <= elapsed) {
    platform::Event event = replay[m_next_event++];
    event.time = m_platform.ticks_ms();
    m_platform.inject_event(std::move(event));
  }
  m_platform.set_scripted_input(m_next_event < replay.size());
}

bool Launcher::take_events() {
  platform::Event event;
  while (m_platform.poll_event(event)) {
    if (event.type == platform::EventType::CloseRequested) return false;
    if (event.type == platform::EventType::Screenshot) write_screenshot(m_platform, event.text);
  }
  return !platform::stop_signal_received();
}

void Launcher::take_chosen_folder(const platform::DialogOutcome& outcome) {
  if (outcome.status != platform::DialogStatus::Accepted || outcome.text.empty()) {
    open_list({});
    return;
  }
  std::string folder = game_folder_of(outcome.text);
  if (folder.empty()) {
    open_list("ゲームのフォルダではありません: " + parent_folder(outcome.text));
    return;
  }
  if (!add_known_game(m_games, folder)) {
    open_list("このフォルダは一覧に入れられません: " + folder);
    return;
  }
  save_list();
  auto at = std::find(m_shown.begin(), m_shown.end(), folder);
  m_selected = at != m_shown.end() ? int32_t(at - m_shown.begin()) : int32_t(m_shown.size());
  open_list({});
}

void Launcher::act(const dialogs::LauncherPanel& panel) {
  m_selected = panel.selected();
  const std::string* folder = m_selected >= 0 && size_t(m_selected) < m_shown.size() ? &m_shown[size_t(m_selected)] : nullptr;
  switch (panel.action()) {
    case dialogs::LauncherAction::Play:
      if (folder) m_chosen = *folder;
      return;
    case dialogs::LauncherAction::Add: {
      platform::DialogRequest request;
      request.kind = platform::DialogKind::OpenFile;
      request.title = "ゲームを追加（フォルダの tavelo.env か .arc を選んでください）";
      request.filter = "ゲームのファイル (*.env;*.arc)";
      std::optional<std::string> home = platform::environment_variable("HOME");
      request.text = (home ? *home : platform::current_directory()) + "/";
      m_dialog = m_platform.open_dialog(request);
      m_choosing = true;
      return;
    }
    case dialogs::LauncherAction::Remove:
      if (folder) {
        std::fprintf(stderr, "[launcher] removed %s\n", folder->c_str());
        remove_known_game(m_games, *folder);
        save_list();
      }
      open_list({});
      return;
    case dialogs::LauncherAction::None:
    case dialogs::LauncherAction::Quit:
      m_quit = true;
      return;
  }
}

LauncherEnd Launcher::run() {
  m_platform.set_caption("Tavelo");
  m_platform.open_window({kWidth, kHeight, std::nullopt, std::nullopt});
  std::vector<uint8_t> background(size_t(kWidth) * size_t(kHeight) * 3);
  for (size_t i = 0; i < background.size(); ++i) background[i] = kBackground[i % 3];
  platform::FrameRect whole{0, 0, kWidth, kHeight};
  m_platform.present({background.data(), kWidth, kHeight, kWidth * 3, std::span<const platform::FrameRect>(&whole, 1)});
  m_start = m_platform.ticks_ms();
  open_list({});
  while (!m_chosen && !m_quit) {
    deliver_replay();
    if (!take_events()) break;
    platform::DialogOutcome outcome = m_platform.poll_dialog(m_dialog);
    if (outcome.status == platform::DialogStatus::Pending) {
      m_platform.wait_for_event(kRestMs);
      m_platform.sleep_ms(m_platform.has_capability(platform::Capability::Window) ? 0 : kRestMs);
    } else if (m_choosing) {
      take_chosen_folder(outcome);
    } else if (outcome.status == platform::DialogStatus::Accepted) {
      act(*m_panel);
    } else {
      m_quit = true;
    }
  }
  LauncherEnd end;
  if (m_chosen) {
    std::fprintf(stderr, "[launcher] play %s\n", m_chosen->c_str());
    end.folder = m_chosen;
    uint32_t elapsed = m_platform.ticks_ms() - m_start;
    for (size_t i = m_next_event; i < m_setup.replay.size(); ++i) {
      platform::Event event = m_setup.replay[i];
      event.time = event.time > elapsed ? event.time - elapsed : 0;
      end.replay.push_back(std::move(event));
    }
  }
  return end;
}

}  // namespace

dialogs::LauncherRow describe_game(const std::string& folder, std::string_view last_played) {
  dialogs::LauncherRow row;
  row.folder = folder;
  row.last_played = last_played;
  row.missing = !platform::is_directory(folder);
  std::optional<GameEnvironment> game = row.missing ? std::nullopt : read_environment(folder);
  if (game) {
    std::string title = resources::env_text(game->environment, game->encoding->lead_bytes(), "TITLEBAR", kTitleBytes, "");
    std::replace(title.begin(), title.end(), '|', ' ');
    row.title = game->encoding->to_utf8_lossy(title);
  }
  if (row.title.empty()) row.title = folder_name(folder);
  if (!row.missing) {
    if (std::optional<std::string> root = save_root_of(folder, game)) add_thumbnail(row, *root);
  }
  return row;
}

std::string game_folder_of(const std::string& chosen_path) {
  std::string folder = parent_folder(chosen_path);
  if (folder.empty() || !platform::is_directory(folder)) return {};
  std::vector<platform::DirectoryItem> items;
  if (!platform::list_directory(folder, items)) return {};
  bool game = std::any_of(items.begin(), items.end(), [](const platform::DirectoryItem& item) {
    return !item.is_directory && (has_suffix(item.name, ".env") || has_suffix(item.name, ".arc"));
  });
  return game ? folder : std::string();
}

LauncherEnd run_launcher(platform::Platform& platform, LauncherSetup setup) {
  Launcher launcher(platform, std::move(setup));
  return launcher.run();
}

}  // namespace tavelo::host
