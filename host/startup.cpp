// Start-up and the outer loop.

#include "host/startup.h"

#include <cstdio>

#include "audio/sound_system.h"
#include "graphics/frame_pacer.h"
#include "graphics/page_table.h"
#include "graphics/picture.h"
#include "graphics/screen.h"
#include "graphics/sprite_table.h"
#include "graphics/state.h"
#include "host/engine.h"
#include "host/debug_tooling.h"
#include "host/display_modes.h"
#include "host/fast_read.h"
#include "host/frame_loop.h"
#include "host/main_window.h"
#include "host/movie_link.h"
#include "host/save_game.h"
#include "host/state.h"
#include "host/syscall_tables.h"
#include "input/input.h"
#include "platform/file_system.h"
#include "platform/instance_lock.h"
#include "platform/platform.h"
#include "platform/slice_watch.h"
#include "platform/system.h"
#include "platform/text_encoding.h"
#include "resources/environment.h"
#include "resources/file_lookup.h"
#include "resources/multibyte.h"
#include "resources/name_hash.h"
#include "resources/search_list.h"
#include "resources/settings.h"
#include "resources/settings_store.h"
#include "resources/state.h"
#include "script/error_report.h"
#include "script/game_files.h"
#include "script/loader.h"
#include "script/machine.h"
#include "script/message_box.h"
#include "library/read_mark_file.h"
#include "script/scheduler.h"
#include "script/state.h"
#include "text/message_window.h"
#include "text/setup.h"
#include "text/state.h"

namespace tavelo::host {
namespace {

constexpr uint32_t kInitFunctionHash = resources::name_hash("$init@GLOBAL");
constexpr uint32_t kStartEvent = 0x38579896;

// Registers name12, name11, ..., name1, name: the first registered wins
// every lookup, so higher numbers patch lower ones.
void register_numbered(Engine& engine, std::string_view name, resources::SoundOnly sound_only,
                       bool* directory_found = nullptr) {
  for (int number = 12; number >= 0 && !engine.stopping(); --number) {
    std::string entry(name);
    if (number > 0) entry += std::to_string(number);
    resources::Registration result = script::register_search_entry(engine.script, entry, sound_only);
    if (result == resources::Registration::Directory && directory_found) *directory_found = true;
  }
}

// The update and fast-data places. Debug mode is on when any of them exists
// as a directory tree with files.
void register_patch_places(Engine& engine) {
  bool debug = false;
  register_numbered(engine, "update", resources::SoundOnly::No, &debug);
  register_numbered(engine, "fastdata", resources::SoundOnly::No, &debug);
  engine.script.debug_mode = debug;
}

void register_game_places(Engine& engine) {
  register_numbered(engine, "scenario", resources::SoundOnly::No);
  register_numbered(engine, "data", resources::SoundOnly::No);
  register_numbered(engine, "slowdata", resources::SoundOnly::No);
  register_numbered(engine, "stream", resources::SoundOnly::Yes);
  register_numbered(engine, "voice", resources::SoundOnly::Yes);
}

// The environment file comes through the search list (so it may sit in an
// archive) or, failing that, as a loose file in the working directory.
std::optional<std::string> read_environment_file(Engine& engine, std::string_view name) {
  std::optional<platform::File> file = resources::find_game_file(engine.resources, name);
  if (!file) {
    std::optional<std::string> path = resources::to_host_path(engine.resources, name);
    if (path) file = platform::File::open(*path, platform::OpenMode::Read);
  }
  if (!file) return std::nullopt;
  std::string bytes(size_t(file->length()), '\0');
  size_t got = file->read(std::span<uint8_t>(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size()));
  bytes.resize(got);
  return bytes;
}

bool valid_utf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    auto byte = uint8_t(text[i]);
    size_t length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((uint8_t(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

// An environment file saved as UTF-8 with a byte-order mark is read as
// UTF-8 (converted to the game's code page); one without the mark that is
// not valid in the code page but is valid UTF-8 is read as it is, and the
// debug log says what probably happened.
void check_environment_encoding(Engine& engine, std::string_view name, std::string& bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    bytes = engine.encoding.from_utf8_lossy(std::string_view(bytes).substr(3));
    return;
  }
  if (engine.encoding.to_utf8(bytes) || !valid_utf8(bytes)) return;
  script::debug_log(engine.script,
                    script::game_message(engine.script,
                                         "%s は %s として正しくありませんが、UTF-8 としては正しい文字列です。"
                                         "UTF-8 で保存されたのなら、先頭にバイト順マーク（BOM）を付けるか %s で保存し直してください。",
                                         {engine.encoding.from_utf8_lossy(name), engine.encoding.code_page(),
                                          engine.encoding.code_page()}));
}

bool environment_file_exists(Engine& engine, std::string_view name) {
  return resources::file_exists(engine.resources, name) || resources::to_host_path(engine.resources, name).has_value();
}

void seed_random_from_clock(Engine& engine) {
  platform::LocalTime time = engine.platform.local_time();
  uint32_t seed = uint32_t(time.second + 60 * (time.minute + 60 * (time.hour + 24 * time.day)));
  script::seed_random(engine.script.random, seed ^ engine.platform.ticks_ms());
}

// Readies $init@GLOBAL of the start script to run on the main thread; false
// when there is none to run.
bool begin_initialisers(Engine& engine) {
  script::LoadedScript* start = script::load_script(engine.script, "start");
  if (!start) return false;
  // The start script's set exists already; the file's marks merge into it.
  library::load_read_marks(engine.script);
  reset_engine(engine, true);
  std::string settings(resources::settings_location(engine.resources).directory);
  if (!settings.empty()) engine.platform.add_pad_mappings(settings + "/gamecontrollerdb.txt");
  const uint8_t* init = script::find_function(engine.script, kInitFunctionHash, nullptr);
  if (!init) {
    // The start script's source is start.tvs; a game without its
    // initialiser cannot run, and the run ends as a failure.
    script::show_box(engine.script, script::BoxKind::Error, "[start.tvs]に $init@GLOBAL 関数がありません", {});
    script::request_exit(engine.script, 255);
    return false;
  }
  script::Frame& frame = engine.script.current->frame();
  frame.position = init;
  frame.code = script::code_block_at(engine.script, init);
  return !engine.stopping();
}

// Readies one run of the start script (or the script a script chose as the
// next start), or of a loaded game from where it was saved; the run's end
// when it ended before its first cycle. The first run keeps what the
// initialisers made; every later one follows a reset.
std::optional<LoopEnd> begin_start_script(Engine& engine, bool first_run, bool load) {
  int32_t load_value = 0;
  if (load && apply_requested_load(engine, load_value)) {
    script::Thread& main_thread = *engine.script.current;
    script::push_value(main_thread, script::make_int(load_value));
    script::push_value(main_thread, script::make_string({}));
    script::push_value(main_thread, script::make_int(1));
    script::raise_event(engine.script, kStartEvent, 3, false);
    return std::nullopt;
  }
  std::string name = engine.script.next_start_script.empty() ? std::string("start") : engine.script.next_start_script;
  engine.script.next_start_script.clear();
  if (first_run) {
    script::reset_machine(engine.script);
    text::reset_message_window(engine.text);
  } else {
    reset_engine(engine, false);
  }
  script::LoadedScript* script = script::load_script(engine.script, name);
  if (!script) return LoopEnd::Stopping;
  script::Thread& main_thread = *engine.script.current;
  if (script->entry_offset < 0) {
    script::report_script_error(engine.script, "[%s]実行関数が設定されていません。", {name == "start" ? "start.tvs" : name});
    return engine.stopping() ? LoopEnd::Stopping : LoopEnd::Restart;
  }
  script::Frame& frame = main_thread.frame();
  frame.code = script->code.get();
  frame.position = script->code->begin() + script->entry_offset;
  script::push_value(main_thread, script::make_int(0));
  script::push_value(main_thread, script::make_string({}));
  script::push_value(main_thread, script::make_int(0));
  script::raise_event(engine.script, kStartEvent, 3, false);
  return std::nullopt;
}

// Temporary files that a crashed or killed run left where the engine replaces
// files atomically: beside the settings file and in the save directory.
void remove_stale_temporary_files(Engine& engine) {
  resources::SettingsLocation location = resources::settings_location(engine.resources);
  if (!location.directory.empty()) {
    std::string settings_file = resources::settings_file_path(location);
    platform::remove_stale_temporary_files(settings_file.substr(0, settings_file.rfind('/')));
  }
  if (std::optional<std::string> savedata = platform::resolve_path("savedata", resources::save_root(engine.resources))) {
    platform::remove_stale_temporary_files(*savedata);
  }
}

// A game whose folder cannot be written (installed under /usr/share, say)
// keeps what it writes in the per-user save root, which then takes the
// fast-read directory's place as the save root.
void use_per_user_save_root(Engine& engine) {
  resources::State& resources = engine.resources;
  if (!resources.fast_read_directory.empty() || platform::is_writable_directory(resources.working_directory)) return;
  std::optional<std::string> root =
      per_user_save_root(engine.encoding, resources::env_setting_text(resources, resources::EnvText::RegGlobal),
                         resources::env_setting_text(resources, resources::EnvText::RegLocal));
  if (root && platform::make_directories(*root + "/savedata")) resources.fast_read_directory = *root;
}

}  // namespace

namespace {

// In debug mode the caption names each shutdown step as it starts, so a
// shutdown that hangs shows where.
void show_step(Engine& engine, std::string_view step) {
  if (engine.script.debug_mode) engine.platform.set_caption(step);
}

void release_global_store(Engine& engine) {
  script::VariableStore& global = engine.script.global;
  if (!engine.script.debug_mode) {
    global.release_all();
    return;
  }
  char caption[64];
  for (script::Value& value : global.records) {
    std::snprintf(caption, sizeof caption, "global_Item_free : %x / type : %d", value.hash, int(value.type));
    engine.platform.set_caption(caption);
    script::release_value(value);
    std::snprintf(caption, sizeof caption, "global_free : %x", value.hash);
    engine.platform.set_caption(caption);
  }
  global.records.clear();
}

// "utf-8", "UTF8" and "UTF_8" name one code page; an empty name is the engine's own.
bool same_code_page(std::string_view wanted, std::string_view current) {
  auto normal = [](std::string_view name) {
    std::string out;
    for (char c : name) {
      if (c != '-' && c != '_') out += resources::ascii_upper(c);
    }
    return out;
  };
  return wanted.empty() || normal(wanted) == normal(current);
}

}  // namespace

namespace {

bool end_before_start(EngineRun& run, int status) {
  run.stage = EngineRun::Stage::Ended;
  run.status = status;
  return false;
}

void finish_run(Engine& engine, EngineRun& run) {
  engine.host.slice_watch.reset();
  shut_down(engine);
  run.stage = EngineRun::Stage::Ended;
  run.status = engine.script.exit_status.value_or(0);
}

}  // namespace

void shut_down(Engine& engine) {
  // The sound stops first: nothing plays while the engine takes itself apart.
  close_movie(engine);
  audio::stop_sound(engine.audio);
  write_system_save(engine);
  // ExecOut: the read marks are written, then the stores and tables go in
  // the order the engine has always released them. Steps with nothing to
  // release yet still show their caption.
  library::save_read_marks(engine.script);
  show_step(engine, "thumbnail");
  show_step(engine, "eternal");
  engine.script.eternal.release_all();
  show_step(engine, "global");
  release_global_store(engine);
  show_step(engine, "save_global");
  show_step(engine, "save_threadglobal");
  show_step(engine, "save_local");
  show_step(engine, "TAVELO");
  script::free_all_threads(engine.script);
  show_step(engine, "ReleaseSpriteAll");
  show_step(engine, "ReleaseEventAll");
  engine.script.events.clear();
  show_step(engine, "FreeMajList");
  show_step(engine, "RemoveFont");
  text::close_text(engine.text, engine.resources);
  show_step(engine, "ForExec");
  stop_debugger_link(engine);
  show_step(engine, "ExecOut - END");

  script::free_all_scripts(engine.script);
  save_exit_settings(engine);
  show_step(engine, "KATAZUKE");
  set_full_screen(engine, false);
  show_step(engine, "KATAZUKE - END");
}

std::optional<std::string> per_user_save_root(const platform::TextEncoding& encoding, std::string_view global_section,
                                              std::string_view local_section) {
  std::optional<std::string> data = platform::environment_variable("TAVELO_DATA_HOME");
  if (!data) {
    std::optional<std::string> xdg = platform::environment_variable("XDG_DATA_HOME");
    std::optional<std::string> home = platform::environment_variable("HOME");
    if (xdg && xdg->front() == '/') {
      data = *xdg + "/tavelo";
    } else if (home) {
      data = *home + "/.local/share/tavelo";
    } else {
      return std::nullopt;
    }
  }
  // The settings file's path under another directory, without ".reg".
  std::string path = resources::settings_file_path({encoding, *data, global_section, local_section});
  return path.substr(0, path.size() - std::string_view(".reg").size());
}

std::string environment_code_page(Engine& engine) {
  return resources::env_setting_text(engine.resources, resources::EnvText::CodePage);
}

bool start_engine(Engine& engine, const StartupOptions& options, EngineRun& run) {
  uint32_t duplicate = 0;
  if (!build_engine_syscall_table(engine.script.syscalls, &duplicate)) {
    script::show_box(engine.script, script::BoxKind::Error, "組み込み関数[%08X]が二重に登録されています", {duplicate});
    return end_before_start(run, 255);
  }
  seed_random_from_clock(engine);

  register_patch_places(engine);
  if (!environment_file_exists(engine, options.environment_file)) {
    // Started from elsewhere: look next to the executable once.
    std::string executable_directory = platform::executable_directory();
    if (executable_directory != engine.resources.working_directory) {
      engine.resources.working_directory = executable_directory;
      register_patch_places(engine);
    }
  }
  if (engine.stopping()) return end_before_start(run, *engine.script.exit_status);
  std::optional<std::string> environment_bytes = read_environment_file(engine, options.environment_file);
  if (!environment_bytes) {
    script::show_box(engine.script, script::BoxKind::Error,
             "起動に必要なファイルが不足しています。\nインストールの異常終了、起動するフォルダ異常、等を確認してください。\n"
             "ショートカットからの起動は作業フォルダの設定をご確認ください。\n\n見つからないファイル: %s\n（フォルダ %s）",
             {engine.encoding.from_utf8_lossy(options.environment_file),
              engine.encoding.from_utf8_lossy(platform::current_directory())});
    return end_before_start(run, 255);
  }
  check_environment_encoding(engine, options.environment_file, *environment_bytes);
  engine.resources.environment = resources::parse_environment(*environment_bytes, engine.resources.lead_bytes);
  resources::forget_environment_values(engine.resources.settings);
  if (!options.code_page_given && !same_code_page(environment_code_page(engine), engine.encoding.code_page())) {
    return end_before_start(run, kOtherCodePage);
  }
  apply_fast_read_file(engine);
  use_per_user_save_root(engine);

  engine.script.caption = resources::env_setting_text(engine.resources, resources::EnvText::Titlebar);
  engine.platform.set_caption(engine.encoding.to_utf8_lossy(engine.script.caption));

  platform::InstanceLock& lock = run.lock;
  std::string lock_directory(resources::settings_location(engine.resources).directory);
  platform::InstanceLock::Outcome locked = lock.acquire(lock_directory, engine.encoding.to_utf8_lossy(engine.script.caption));
  if (locked == platform::InstanceLock::Outcome::AlreadyRunning) {
    script::show_box(engine.script, script::BoxKind::Error, "既に起動中です", {});
    return end_before_start(run, 0);
  }
  if (locked == platform::InstanceLock::Outcome::Failed) {
    script::show_box(engine.script, script::BoxKind::Error, "多重起動防止用のファイルを作成できません。\n%s",
                     {engine.encoding.from_utf8_lossy(lock.problem())});
    return end_before_start(run, 255);
  }
  remove_stale_temporary_files(engine);

  if (resources::read_user_setting(engine.resources, resources::UserSetting::AbnormalTerminateFlg) != 0 && engine.script.debug_mode) {
    script::show_box(engine.script, script::BoxKind::Question,
             "前回のプログラム実行時に異常終了が確認されました。\n繰り返し異常終了が確認される場合はＨＤＤキャッシュの破損が考えら"
             "れます。\n\nＨＤＤキャッシュを破棄しますか？（推奨）\n",
             {});
  }
  resources::reg_write_text_flushed(engine.resources, resources::registry_value_name(resources::UserSetting::AbnormalTerminateFlg), "1");

  register_game_places(engine);
  text::configure_text(engine.text, engine.resources, engine.encoding);
  text::prebuild_glyph_caches(engine.text, engine.resources);
  engine.script.no_update_on_wait0 = resources::env_setting(engine.resources, resources::EnvInt::NoUpdateOnWait0) != 0;
  engine.graphics.pacer.skip_divisor =
      graphics::skip_divisor_for(resources::env_setting(engine.resources, resources::EnvInt::AggressiveSkip));
  graphics::set_frame_limit(engine.graphics.pacer, resources::env_setting(engine.resources, resources::EnvInt::MaxFps));
  open_main_window(engine);
  // Half the free memory, within 4 MB .. 256 MB, for decoded pictures.
  engine.graphics.pictures.cache.set_budget(graphics::system_image_budget());
  engine.graphics.screen.ignore_screen_mode =
      resources::env_setting(engine.resources, resources::EnvInt::IgnoreScreenMode) != 0;
  graphics::create_display_page(engine.graphics, resources::env_setting(engine.resources, resources::EnvInt::ClientWidth),
                                resources::env_setting(engine.resources, resources::EnvInt::ClientHeight));
  audio::start_sound(engine.audio, engine.script);
  connect_movie(engine);
  if (options.debug_port && !start_debugger_link(engine, *options.debug_port)) script::request_exit(engine.script, 255);

  if (options.quit_after_ms) {
    engine.host.quit_at = script::script_time(engine.script) + *options.quit_after_ms;
    engine.host.slice_watch = std::make_unique<platform::SliceWatch>(
        *options.quit_after_ms, "tavelo: a script ran " + std::to_string(*options.quit_after_ms) +
                                    " ms of wall time without giving control back (--quit-after); ending the run");
  }

  if (engine.stopping() || !begin_initialisers(engine)) {
    finish_run(engine, run);
    return false;
  }
  run.stage = EngineRun::Stage::Initialisers;
  return true;
}

EngineStep step_engine(Engine& engine, EngineRun& run) {
  std::optional<LoopEnd> end = run_frame_cycle(engine);
  if (!end) return EngineStep::Cycled;
  for (;;) {
    if (engine.stopping()) break;
    if (run.stage == EngineRun::Stage::Initialisers) {
      // What start-up made belongs to the engine from now on: the game reset
      // keeps these pages and sprites.
      graphics::hold_all_pages(engine.graphics);
      graphics::hold_all_sprites(engine.graphics);
      restore_screen_state(engine);
      run.stage = EngineRun::Stage::Game;
    } else if (*end == LoopEnd::Stopping) {
      break;
    } else {
      run.first_run = false;
      run.load = *end == LoopEnd::GameLoaded;
    }
    end = begin_start_script(engine, run.first_run, run.load);
    if (!end) return EngineStep::RunBegun;
  }
  finish_run(engine, run);
  return EngineStep::Ended;
}

int run_engine(Engine& engine, const StartupOptions& options) {
  EngineRun run;
  if (!start_engine(engine, options, run)) return run.status;
  for (;;) {
    switch (step_engine(engine, run)) {
      case EngineStep::Cycled: rest_after_cycle(engine); break;
      case EngineStep::RunBegun: break;
      case EngineStep::Ended: return run.status;
    }
  }
}

}  // namespace tavelo::host
