// The main window's menus.

#include "host/menus.h"

#include "host/engine.h"
#include "host/state.h"
#include "input/state.h"
#include "persistence/state.h"
#include "resources/settings.h"
#include "script/state.h"

namespace tavelo::host {
namespace {

// Variants as bits, so one row can belong to several.
constexpr uint8_t bit(MenuVariant variant) { return uint8_t(1u << uint8_t(variant)); }
constexpr uint8_t kJapanese = bit(MenuVariant::Main) | bit(MenuVariant::Neko) | bit(MenuVariant::Stl) |
                              bit(MenuVariant::NoConfig) | bit(MenuVariant::ExtraMenu);
constexpr uint8_t kAka = bit(MenuVariant::Aka);
constexpr uint8_t kNeko = bit(MenuVariant::Neko);
constexpr uint8_t kStl = bit(MenuVariant::Stl);
constexpr uint8_t kNotStl = kJapanese & uint8_t(~kStl);

enum class Row : uint8_t { Open, Close, Item, Separator };

struct MenuRow {
  Row row;
  uint32_t id;  // items only
  std::string_view text;
  uint8_t variants;
};

// Every menu of every variant, top to bottom. A tab in a label starts the
// key that does the same (shown at the item's right). "Open" starts a menu (a
// top-level one, or a sub-menu inside another) and "Close" ends it; rows whose
// variants do not include the game's are left out, and so are separators
// that would end up first, last or doubled.
constexpr MenuRow kMenuRows[] = {
    {Row::Open, 0, "システム(&S)", kJapanese},
    {Row::Item, kMenuSave, "セーブ(&S)\tF2", kJapanese},
    {Row::Item, kMenuLoad, "ロード(&O)\tF3", kJapanese},
    {Row::Item, kMenuSaveAs, "名前を付けてセーブ(&A)", kNotStl},
    {Row::Item, kMenuLoadFromFile, "名前で指定してロード(&L)", kJapanese},
    {Row::Item, kMenuQuickSave, "クイックセーブ(&Q)", kStl},
    {Row::Item, kMenuQuickLoad, "クイックロード(&W)", kStl},
    {Row::Separator, 0, "", kJapanese},
    {Row::Item, kMenuReturnToTitle, "タイトルへ戻る(&B)", kJapanese},
    {Row::Separator, 0, "", kJapanese},
    {Row::Item, kMenuExit, "終了(&X)", kJapanese},
    {Row::Close, 0, "", kJapanese},

    {Row::Open, 0, "画面(&D)", kJapanese},
    {Row::Item, kMenuFullScreen, "フルスクリーン(&F)\tF4", kJapanese},
    {Row::Item, kMenuWindowed, "ウインドウ(&W)", kJapanese},
    {Row::Item, kMenuWideMode, "ワイドモード(&M)", kJapanese},
    {Row::Item, kMenuScreenOptions, "スクリーン詳細設定(&O)...", kJapanese},
    {Row::Separator, 0, "", kJapanese},
    {Row::Item, kMenuScreenCapture, "画面の保存(&T)...\tF5", kJapanese},
    {Row::Close, 0, "", kJapanese},

    {Row::Open, 0, "設定(&C)", kJapanese},
    {Row::Item, kMenuConfiguration, "設定(F9)", bit(MenuVariant::NoConfig)},
    {Row::Item, kMenuSpeedSettings, "スピード設定(&P)...", kJapanese},
    {Row::Item, kMenuSoundSettings, "サウンド設定(&V)...", kJapanese},
    {Row::Item, kMenuFontSettings, "フォント設定(&F)...", kJapanese},
    {Row::Item, kMenuVoiceSettings, "音声個別設定(&C)...", kJapanese},
    {Row::Item, kMenuExtraSettings, "拡張設定(&E)", bit(MenuVariant::ExtraMenu)},
    {Row::Separator, 0, "", kJapanese},
    {Row::Item, kMenuJoystick, "ジョイスティック使用(&J)", kJapanese},
    {Row::Item, kMenuNoMovies, "ムービーを禁止(&M)", kJapanese},
    {Row::Separator, 0, "", kNeko},
    {Row::Open, 0, "難易度(&N)", kNeko},
    {Row::Item, kMenuDifficulty0, "とても易しい", kNeko},
    {Row::Item, kMenuDifficulty0 + 1, "易しい", kNeko},
    {Row::Item, kMenuDifficulty0 + 2, "普通", kNeko},
    {Row::Item, kMenuDifficulty0 + 3, "難しい", kNeko},
    {Row::Item, kMenuDifficulty0 + 4, "とても難しい", kNeko},
    {Row::Close, 0, "", kNeko},
    {Row::Open, 0, "ゲーム速度(&G)", kNeko},
    {Row::Item, kMenuGameSpeed0, "遅い", kNeko},
    {Row::Item, kMenuGameSpeed0 + 1, "普通", kNeko},
    {Row::Item, kMenuGameSpeed0 + 2, "速い", kNeko},
    {Row::Item, kMenuGameSpeed0 + 3, "とても速い", kNeko},
    {Row::Close, 0, "", kNeko},
    {Row::Close, 0, "", kJapanese},

    {Row::Open, 0, "スキップ(&K)", kJapanese},
    {Row::Item, kMenuReadSkip, "既読スキップ(F7)", kJapanese},
    {Row::Item, kMenuForceSkip, "強制スキップ(F8)", kJapanese},
    {Row::Item, kMenuAutoPlay, "オートプレイ(F6)", kJapanese},
    {Row::Separator, 0, "", kJapanese},
    {Row::Item, kMenuBacklog, "バックログ(&L)", kNeko},
    {Row::Item, kMenuNextChoice, "次の選択肢へ進む(&N)", kStl},
    {Row::Item, kMenuPreviousChoice, "前の選択に戻る(&P)", kJapanese},
    {Row::Close, 0, "", kJapanese},

    {Row::Open, 0, "ヘルプ(&H)", kJapanese},
    {Row::Item, kMenuHelp, "ヘルプ(&H)\tF1", kJapanese},
    {Row::Item, kMenuErrorLog, "エラーログを開く(&E)", kJapanese},
    {Row::Separator, 0, "", kJapanese},
    {Row::Item, kMenuAbout, "バージョン情報(&A)...", kJapanese},
    {Row::Close, 0, "", kJapanese},

    // The translated menu.
    {Row::Open, 0, "&System", kAka},
    {Row::Item, kMenuSave, "&Save", kAka},
    {Row::Item, kMenuLoad, "L&oad", kAka},
    {Row::Item, kMenuSaveAs, "Save &As", kAka},
    {Row::Item, kMenuLoadFromFile, "&Load from File", kAka},
    {Row::Separator, 0, "", kAka},
    {Row::Item, kMenuReturnToTitle, "Return to &Title", kAka},
    {Row::Separator, 0, "", kAka},
    {Row::Item, kMenuExit, "E&xit", kAka},
    {Row::Close, 0, "", kAka},
    {Row::Open, 0, "&Display", kAka},
    {Row::Item, kMenuFullScreen, "&Full Screen", kAka},
    {Row::Item, kMenuWindowed, "&Window", kAka},
    {Row::Item, kMenuWideMode, "Wide &Mode", kAka},
    {Row::Item, kMenuScreenOptions, "Screen &Options...", kAka},
    {Row::Separator, 0, "", kAka},
    {Row::Item, kMenuScreenCapture, "Save &Screenshot...", kAka},
    {Row::Close, 0, "", kAka},
    {Row::Open, 0, "S&ettings", kAka},
    {Row::Item, kMenuSpeedSettings, "S&peed...", kAka},
    {Row::Item, kMenuSoundSettings, "Sou&nd...", kAka},
    {Row::Item, kMenuFontSettings, "&Font...", kAka},
    {Row::Item, kMenuVoiceSettings, "&Voices...", kAka},
    {Row::Separator, 0, "", kAka},
    {Row::Item, kMenuJoystick, "Use &Joystick", kAka},
    {Row::Item, kMenuNoMovies, "Disable &Movies", kAka},
    {Row::Close, 0, "", kAka},
    {Row::Open, 0, "S&kip", kAka},
    {Row::Item, kMenuReadSkip, "Skip &Read Text (F7)", kAka},
    {Row::Item, kMenuForceSkip, "&Force Skip (F8)", kAka},
    {Row::Item, kMenuAutoPlay, "&Auto Play (F6)", kAka},
    {Row::Separator, 0, "", kAka},
    {Row::Item, kMenuPreviousChoice, "&Previous Choice", kAka},
    {Row::Close, 0, "", kAka},
    {Row::Open, 0, "&Help", kAka},
    {Row::Item, kMenuHelp, "&Help", kAka},
    {Row::Item, kMenuKeyHelp, "&Key Help", kAka},
    {Row::Item, kMenuUserSupport, "&User Support...", kAka},
    {Row::Item, kMenuErrorLog, "Open &Error Log", kAka},
    {Row::Separator, 0, "", kAka},
    {Row::Item, kMenuAbout, "&About...", kAka},
    {Row::Close, 0, "", kAka},
};

size_t index_of(uint32_t id) { return size_t(id - kFirstMenuCommand); }

bool is_command(uint32_t id) { return id >= kFirstMenuCommand && id < kFirstMenuCommand + kMenuCommandCount; }

void set_item(MenuItemSet& set, uint32_t id, bool value = true) {
  if (is_command(id)) set[index_of(id)] = value;
}

bool has_item(const MenuItemSet& set, uint32_t id) { return is_command(id) && set[index_of(id)]; }

// Drops separators at either end of a menu and doubled ones.
void tidy(std::vector<platform::MenuEntry>& entries) {
  std::vector<platform::MenuEntry> tidied;
  for (platform::MenuEntry& entry : entries) {
    if (entry.kind == platform::MenuEntry::Kind::Separator &&
        (tidied.empty() || tidied.back().kind == platform::MenuEntry::Kind::Separator)) {
      continue;
    }
    tidied.push_back(std::move(entry));
  }
  while (!tidied.empty() && tidied.back().kind == platform::MenuEntry::Kind::Separator) tidied.pop_back();
  entries = std::move(tidied);
}

MenuVariant variant_of(resources::State& resources) {
  using resources::EnvInt;
  if (resources::env_setting(resources, EnvInt::NekoMenu) != 0) return MenuVariant::Neko;
  if (resources::env_setting(resources, EnvInt::AkaMenu) != 0) return MenuVariant::Aka;
  if (resources::env_setting(resources, EnvInt::StlMenu) != 0) return MenuVariant::Stl;
  if (resources::env_setting(resources, EnvInt::NoConfig) != 0) return MenuVariant::NoConfig;
  if (resources::env_setting(resources, EnvInt::UseExtraSetup) != 0) return MenuVariant::ExtraMenu;
  return MenuVariant::Main;
}

}  // namespace

std::string_view menu_variant_name(MenuVariant variant) {
  switch (variant) {
    case MenuVariant::Main: return "TAVELO_MAIN";
    case MenuVariant::Neko: return "TAVELO_MAIN_NEKO";
    case MenuVariant::Aka: return "TAVELO_MAIN_AKA";
    case MenuVariant::Stl: return "TAVELO_MAIN_STL";
    case MenuVariant::NoConfig: return "TAVELO_MAIN_NOCONFIG";
    case MenuVariant::ExtraMenu: return "TAVELO_MAIN_EXTRAMENU";
  }
  return "TAVELO_MAIN";
}

bool menu_item_present(const MenuState& state, uint32_t id) {
  if (!is_command(id) || has_item(state.deleted, id)) return false;
  for (const MenuRow& row : kMenuRows) {
    if (row.row == Row::Item && row.id == id && (row.variants & bit(state.variant))) return true;
  }
  return false;
}

std::vector<platform::MenuEntry> build_menu(const MenuState& state) {
  std::vector<std::vector<platform::MenuEntry>> open(1);
  uint8_t mine = bit(state.variant);
  for (const MenuRow& row : kMenuRows) {
    if (!(row.variants & mine)) continue;
    std::vector<platform::MenuEntry>& into = open.back();
    platform::MenuEntry entry;
    switch (row.row) {
      case Row::Open:
        entry.kind = platform::MenuEntry::Kind::Menu;
        entry.label = std::string(row.text);
        into.push_back(std::move(entry));
        open.emplace_back();
        break;
      case Row::Close: {
        std::vector<platform::MenuEntry> children = std::move(open.back());
        open.pop_back();
        tidy(children);
        if (children.empty()) {
          open.back().pop_back();  // a menu left empty by deletions goes too
        } else {
          open.back().back().children = std::move(children);
        }
        break;
      }
      case Row::Separator:
        entry.kind = platform::MenuEntry::Kind::Separator;
        into.push_back(std::move(entry));
        break;
      case Row::Item:
        if (has_item(state.deleted, row.id)) break;
        entry.kind = platform::MenuEntry::Kind::Item;
        entry.id = row.id;
        entry.label = std::string(row.text);
        entry.enabled = !has_item(state.greyed, row.id) && !has_item(state.disabled, row.id);
        entry.checked = has_item(state.checked, row.id);
        into.push_back(std::move(entry));
        break;
    }
  }
  return std::move(open.front());
}

void set_up_menu(Engine& engine) {
  using resources::EnvInt;
  using resources::UserSetting;
  resources::State& resources = engine.resources;
  MenuState& menu = engine.host.window.menu;
  menu = MenuState{};
  menu.variant = variant_of(resources);
  auto env = [&](EnvInt key) { return resources::env_setting(resources, key); };

  if (resources::env_setting_text(resources, resources::EnvText::HelpFile) == "none") set_item(menu.deleted, kMenuHelp);
  if (env(EnvInt::LoadSaveDisable) == 1) {
    for (uint32_t id : {kMenuSave, kMenuSaveAs, kMenuLoad, kMenuLoadFromFile}) set_item(menu.greyed, id);
  }
  if (env(EnvInt::NoSaveAs) == 1) {
    set_item(menu.deleted, kMenuSaveAs);
    set_item(menu.deleted, kMenuLoadFromFile);
  }
  if (env(EnvInt::RetLastSelEnable) == 0 && env(EnvInt::StlMenu) == 0) set_item(menu.deleted, kMenuPreviousChoice);
  if (env(EnvInt::FontSel) == 0) set_item(menu.deleted, kMenuFontSettings);
  if (env(EnvInt::VoiceSel) == 0) set_item(menu.deleted, kMenuVoiceSettings);
  if (env(EnvInt::JoyUse) == 0) {
    set_item(menu.deleted, kMenuJoystick);
  } else if (resources::read_user_setting(resources, UserSetting::JoyUse) != 0) {
    engine.input.pad.use = env(EnvInt::JoyUse);
  }
  if (env(EnvInt::CaptureDisable) == 1) set_item(menu.greyed, kMenuScreenCapture);
  if (env(EnvInt::FnDisable) == 1) {
    for (uint32_t id : {kMenuAutoPlay, kMenuReadSkip, kMenuForceSkip, kMenuConfiguration}) set_item(menu.deleted, id);
  }
  bool movie_flag = resources::read_user_setting(resources, UserSetting::AbnormalMovieTerminateFlg) != 0;
  if (movie_flag || resources::read_user_setting(resources, UserSetting::MovieDisableMenu) != 0) {
    (void)resources::write_user_setting(resources, UserSetting::MovieDisableMenu, 1);
  } else {
    set_item(menu.deleted, kMenuNoMovies);
  }
  if (env(EnvInt::WideModeMenu) == 0) set_item(menu.deleted, kMenuWideMode);
  if (!engine.script.debug_mode) set_item(menu.deleted, kMenuErrorLog);
}

void refresh_menu(Engine& engine) {
  using resources::UserSetting;
  MainWindow& window = engine.host.window;
  MenuState& menu = window.menu;
  resources::State& resources = engine.resources;
  menu.disabled.reset();
  menu.checked.reset();

  bool full_screen = engine.host.display.full_screen;
  set_item(menu.checked, kMenuFullScreen, full_screen);
  set_item(menu.checked, kMenuWindowed, !full_screen);
  bool can_save = engine.persistence.saving_enabled && !engine.input.gated;
  for (uint32_t id : {kMenuSave, kMenuSaveAs, kMenuQuickSave}) set_item(menu.disabled, id, !can_save);
  set_item(menu.checked, kMenuTopmost, resources::read_user_setting(resources, UserSetting::Topmost) != 0);
  // The machine's menu permissions say whether the next and the previous
  // choice can be reached.
  set_item(menu.disabled, kMenuNextChoice, !engine.script.skip.fast_forward_permitted);
  set_item(menu.disabled, kMenuPreviousChoice, !engine.script.skip.second_menu_permitted);
  for (uint32_t level = 0; level < 5; ++level) set_item(menu.checked, kMenuDifficulty0 + level, window.difficulty == int32_t(level));
  for (uint32_t speed = 0; speed < 4; ++speed) set_item(menu.checked, kMenuGameSpeed0 + speed, window.game_speed == int32_t(speed));
  set_item(menu.checked, kMenuJoystick, engine.input.pad.use != 0);
  set_item(menu.checked, kMenuNoMovies,
           resources::read_user_setting(resources, UserSetting::AbnormalMovieTerminateFlg) != 0);
  set_item(menu.checked, kMenuWideMode, resources::read_user_setting(resources, UserSetting::WideMode) != 0);

  std::vector<platform::MenuEntry> bar = build_menu(menu);
  if (bar != menu.shown) {
    menu.shown = std::move(bar);
    engine.platform.set_menu(menu.shown);
  }
}

}  // namespace tavelo::host
