// Saves through real scripts: a game saved inside a called function comes
// back there with every store, shared blocks and its callers; damaged files
// are refused while the game goes on; the quick-save ring; the system save
// across runs.

#include <gtest/gtest.h>

#include <filesystem>

#include "host/menus.h"
#include "host/save_game.h"
#include "persistence/save_file.h"
#include "persistence/system_save.h"
#include "platform/file_system.h"
#include "resources/name_hash.h"
#include "resources/settings.h"
#include "tests/audio/audio_test_support.h"
#include "tests/support/script_calls.h"
#include "tests/support/script_harness.h"
#include "tests/support/test_engine.h"
#include "text/state.h"

namespace tavelo::testing {
namespace {

struct Runs {
  TempDirectory game;

  ScriptRun run(std::string_view body, std::string_view extra = "", const RunHooks& hooks = {},
                std::string_view environment = "") {
    GameFiles files;
    files.environment += environment;
    files.scripts.push_back({"scenario/start.tvo", start_script(body, extra)});
    write_game(game, files);
    std::filesystem::remove(game.at("debugout.log"));
    ScriptRun result;
    result.game = run_game(game, {}, {}, hooks);
    result.lines = log_messages(result.game.log);
    return result;
  }
  std::string save(std::string_view name) const { return game.at(std::string("savedata/") + std::string(name)); }
};

// main keeps a local and calls inner(41), which takes a save point, changes
// everything, saves slot 1 and loads it. After the load, inner goes on from
// its save point with the values it had there, and main gets inner's result.
constexpr const char* kSaveAndLoad = R"(
    syscall_discard 0x4D849AA6 0          ; enable saving
    syscall_discard 0x1BB47604 0          ; enable save points
    locals int
    push_int 5
    set_int_pop local int slot:0
    push_int 7
    set_int_pop global int "@g@GLOBAL"
    push_float 2.5
    set_float_pop global float "@f@GLOBAL"
    push_string "shared"
    set_string_pop global string "@s@GLOBAL"
    push_int 3
    syscall 0x1F57B724 1
    set_string_array_pop global string_array "@a@GLOBAL"
    load global string_array "@a@GLOBAL"
    set_string_array_pop global string_array "@b@GLOBAL"
    push_string "elem"
    push_int 1
    elem_set_string_pop global string subscripts:1 "@a@GLOBAL"
    push_int 9
    set_int_pop thread int "%t@GLOBAL"
    push_int 41
    call "$inner@GLOBAL" 1
    load local int slot:0
    PRINT 2
)";

constexpr const char* kInner = R"(
.function "$inner@GLOBAL" inner
inner:
    params int
    locals int
    push_int 100
    set_int_pop local int slot:0
    push_string "chapter"
    syscall_discard 0xF8004993 1          ; save point with a comment
    load eternal int "#loads@GLOBAL"
    jump_if_false first
    load global int "@g@GLOBAL"
    load global float "@f@GLOBAL"
    load global string "@s@GLOBAL"
    load thread int "%t@GLOBAL"
    load local int slot:0
    push_int 1
    load_elem global string subscripts:1 "@a@GLOBAL"
    push_int 1
    load_elem global string subscripts:1 "@b@GLOBAL"
    load global string_array "@a@GLOBAL"
    load global string_array "@b@GLOBAL"
    eq_string_array
    PRINT 8
    load local int slot:-2
    push_int 1
    add_int
    return
first:
    push_int 1
    set_int_pop eternal int "#loads@GLOBAL"
    push_int 70
    set_int_pop global int "@g@GLOBAL"
    push_string "changed"
    set_string_pop global string "@s@GLOBAL"
    push_int 90
    set_int_pop thread int "%t@GLOBAL"
    push_int 1
    syscall_discard 0x89018DD1 1          ; save slot 1
    push_int 1
    syscall 0x65075141 1                  ; its comment
    PRINT
    push_int 1
    syscall 0x3A3CA0F1 1                  ; load slot 1
    PRINT
    return
)";

TEST(Saves, a_load_returns_into_the_called_function_with_every_store_and_its_caller_goes_on) {
  Runs runs;
  ScriptRun run = runs.run(kSaveAndLoad, kInner);
  // Printed values come top first: the comparison of the shared arrays, then
  // the elements, the locals, the thread value and the globals.
  // The load call ends the slice at once: nothing after it runs.
  EXPECT_EQ(run.lines, (Lines{"chapter ", "1 elem elem 100 9 shared 2.500000 7 ", "5 42 "})) << run.game.log;
  std::optional<std::vector<uint8_t>> bytes = platform::read_file(runs.save("tavelo_0001.sav"));
  ASSERT_TRUE(bytes);
  persistence::SaveImage image;
  ASSERT_EQ(persistence::parse_save_file(*bytes, image), persistence::SaveFileStatus::Ok);
  EXPECT_EQ(image.frames.size(), 2u);
  EXPECT_EQ(image.frames[0].script_name, "START.TVO");
  // The shared string array is written once: one array block, its element
  // blocks and the one string (the thumbnail is absent).
  EXPECT_EQ(persistence::write_save_file(image), *bytes);
  // The eternal value went to the system save.
  std::optional<std::vector<uint8_t>> system = platform::read_file(runs.save("tavelo_system.tss"));
  ASSERT_TRUE(system);
  persistence::NameSet names{};
  persistence::ValueList eternal;
  ASSERT_EQ(persistence::parse_system_save(*system, names, eternal), persistence::SystemSaveStatus::Ok);
  ASSERT_EQ(eternal.values.size(), 1u);
  EXPECT_EQ(eternal.values[0].integer, 1);
}

TEST(Saves, music_sounds_and_the_text_history_come_back_as_they_were_at_the_save_point) {
  Runs runs;
  std::vector<int16_t> silence(44100 / 5 * 2, 0);
  runs.game.write("stream/bgm.wav", make_pcm16(2, 44100, silence));
  runs.game.write("stream/rain.wav", make_pcm16(2, 44100, silence));
  std::vector<uint8_t> history_after_load;
  RunHooks hooks;
  hooks.after = [&](TestEngine& test) {
    const auto& bytes = test.engine.text.history.bytes;
    history_after_load.assign(bytes.begin(), bytes.end());
  };
  ScriptRun run = runs.run(R"(
    syscall_discard 0x4D849AA6 0
    syscall_discard 0x1BB47604 0
    text "before the save"
    message
    push_int 1
    push_string "bgm"
    syscall_discard music 2
    push_int 600
    syscall_discard music_vol 1
    push_string ""
    push_string "rain"
    syscall_discard sound_loop 2
    push_int 700
    syscall_discard sound_vol 1
    push_string "bgm"
    push_string "rain"
    syscall_discard sound3_loop 2
    push_int 400
    syscall_discard sound4_vol 1
    push_int 800
    syscall_discard voice_vol 1
    syscall_discard 0xF8004993 0
    load eternal int "#loaded@GLOBAL"
    jump_if_false first
    syscall music_stat 0
    syscall sound_name 0
    PRINT 2
    END
first:
    push_int 1
    set_int_pop eternal int "#loaded@GLOBAL"
    push_int 1
    syscall_discard 0x89018DD1 1
    text "after the save"
    message
    syscall_discard music_stop 0
    syscall_discard sound_stop 0
    push_int 1
    syscall_discard 0x3A3CA0F1 1
  )",
                           "", hooks, "MUSICVOL 1000\nSOUNDVOL 1000\n");
  EXPECT_EQ(run.lines, (Lines{"rain.wav 1 "})) << run.game.log;
  // The header's audio fields and history, read at their offsets.
  const std::vector<uint8_t> file = *platform::read_file(runs.save("tavelo_0001.sav"));
  ASSERT_GE(file.size(), 41952u);
  auto text_at = [&](size_t at) { return std::string(reinterpret_cast<const char*>(&file[at])); };
  auto int_at = [&](size_t at) {
    return int32_t(uint32_t(file[at]) | uint32_t(file[at + 1]) << 8 | uint32_t(file[at + 2]) << 16 |
                   uint32_t(file[at + 3]) << 24);
  };
  EXPECT_EQ(text_at(172), "bgm.wav");
  EXPECT_EQ(text_at(428), "");  // the music's loop part
  EXPECT_EQ(text_at(684), "rain.wav");
  EXPECT_EQ(text_at(812), "");
  EXPECT_EQ(text_at(940), "");  // sound 2 plays nothing
  EXPECT_EQ(text_at(1196), "rain.wav");
  EXPECT_EQ(text_at(1324), "bgm.wav");
  EXPECT_EQ(int_at(1708), 600);   // music scale
  EXPECT_EQ(int_at(1716), 1);     // the music loops
  EXPECT_EQ(int_at(1740), 800);   // voice scale
  EXPECT_EQ(int_at(1844), 700);   // sound 1 to 4 scales
  EXPECT_EQ(int_at(1848), 1000);
  EXPECT_EQ(int_at(1852), 1000);
  EXPECT_EQ(int_at(1856), 400);
  for (auto [from, to] : {std::pair{1712, 1716}, {1720, 1740}, {1744, 1844}, {1860, 1948}}) {
    for (int at = from; at < to; ++at) EXPECT_EQ(file[size_t(at)], 0) << "unused byte " << at;
  }
  // The history holds the first message, not the one after the save point.
  const std::vector<uint8_t> saved_history(file.begin() + 1952, file.begin() + 41952);
  EXPECT_EQ(history_after_load, saved_history);
  std::string history(saved_history.begin(), saved_history.end());
  EXPECT_NE(history.find("before the save"), std::string::npos);
  EXPECT_EQ(history.find("after the save"), std::string::npos);
}

TEST(Saves, damaged_files_are_refused_and_the_game_goes_on) {
  Runs runs;
  runs.run(kSaveAndLoad, kInner);
  std::vector<uint8_t> good = *platform::read_file(runs.save("tavelo_0001.sav"));
  auto write = [&](int slot, std::vector<uint8_t> bytes) {
    char name[32];
    std::snprintf(name, sizeof name, "tavelo_%04d.sav", slot);
    runs.game.write(std::string("savedata/") + name, bytes);
  };
  write(2, std::vector<uint8_t>(good.begin(), good.begin() + long(good.size() / 2)));  // truncated
  std::vector<uint8_t> magic = good;
  magic[0] = 'X';
  write(3, magic);
  std::vector<uint8_t> frames = good;
  resources::store_u32le(frames.data() + 144, 100000);  // frame count far beyond any thread
  write(4, frames);
  std::vector<uint8_t> thumbnail = good;
  resources::store_u32le(thumbnail.data() + 148, 4000);  // a thumbnail larger than the file
  resources::store_u32le(thumbnail.data() + 152, 4000);
  write(5, thumbnail);
  std::vector<uint8_t> position = good;
  resources::store_u32le(position.data() + persistence::kSaveHeaderSize + 128, 0x7FFFFF);  // outside the code
  write(6, position);
  ScriptRun run = runs.run(R"(
    push_int 2
    syscall 0x3A3CA0F1 1
    push_int 3
    syscall 0x3A3CA0F1 1
    push_int 4
    syscall 0x3A3CA0F1 1
    push_int 5
    syscall 0x3A3CA0F1 1
    push_int 6
    syscall 0x3A3CA0F1 1
    push_int 7
    syscall 0x3A3CA0F1 1
    push_int 3
    syscall 0x65075141 1
    push_int 1
    syscall 0x65075141 1
    push_string "going on"
    PRINT 9
  )");
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines.back(), "going on chapter  -1 -1 -1 -1 -1 -1 ") << run.game.log;
}

// Sizes a script can ask for but the engine cannot hold: an array whose
// three sizes multiply past 64 bits, a thumbnail larger than save files keep
// (refused at capture, so the save still loads), and a make_thumbnail
// destination of 2 000 000 000 pixels a side, of which only the page's part
// is computed, on the grid of the whole rectangle.
TEST(Saves, oversized_arrays_and_thumbnails_are_refused_and_reductions_clip_first) {
  Runs runs;
  // @p: a 64 x 48 source, red on the left, green on the right; @q: the
  // destination.
  const std::string red = std::to_string(0x0000FF), green = std::to_string(0x00FF00);
  const std::string body =
      call("enable_saving", {}) + call("enable_save_points", {}) +
      call("0x96B07AEE", {"15", "714156689", "1722007169"}) + "    pop\n" +  // int array_create
      print("capture_thumbnail", {"5000", "2"}) +
      keep("p", "page_create", {"64", "48"}) + keep("q", "page_create", {"64", "48"}) +
      call("grp_boxfill", {"@p", "0", "0", "32", "48", red}) + call("grp_boxfill", {"@p", "32", "0", "32", "48", green}) +
      // Onto (-32, 0, 64, 48): the page shows the grid's right half.
      call("make_thumbnail", {"@p", "0", "0", "64", "48", "@q", "-32", "0", "64", "48"}) +
      print("grp_point_get", {"@q", "0", "0"}) +
      // Onto (0, 0, 2e9, 2e9): the page shows cell 0, the source's left edge.
      call("make_thumbnail", {"@p", "0", "0", "64", "48", "@q", "0", "0", "2000000000", "2000000000"}) +
      print("grp_point_get", {"@q", "0", "0"}) + R"(
    syscall_discard save_point 0
    load eternal int "#loaded@GLOBAL"
    jump_if_false first
    push_string "loaded"
    PRINT 1
    END
first:
    push_int 1
    set_int_pop eternal int "#loaded@GLOBAL"
)" + call("save", {"1"}) + call("load", {"1"});
  ScriptRun run = runs.run(body);
  ASSERT_EQ(run.lines.size(), 6u) << run.game.log;
  EXPECT_TRUE(contains(run.lines[0], "配列の要素数が多すぎます。")) << run.lines[0];
  EXPECT_TRUE(contains(run.lines[1], "capture_thumbnail : サムネイルが大きすぎます（5000×2、一辺4096まで）")) << run.lines[1];
  EXPECT_EQ(Lines(run.lines.begin() + 2, run.lines.end()), (Lines{"-1 ", rgb(0, 255, 0), rgb(255, 0, 0), "loaded "}));
}

TEST(Saves, slot_numbers_name_their_files) {
  using persistence::slot_file_name;
  EXPECT_EQ(slot_file_name(-5, 0), "savedata\\tavelo_last.sav");
  EXPECT_EQ(slot_file_name(10001, 0), "savedata\\tavelo_last.sav");
  EXPECT_EQ(slot_file_name(0, 0), "savedata\\tavelo_0000.sav");
  EXPECT_EQ(slot_file_name(9999, 0), "savedata\\tavelo_9999.sav");
  // The newest quick save is both 10003 and 10011; the ring counts back.
  EXPECT_EQ(slot_file_name(10003, 0), "savedata\\tavelo_quick0.sav");
  EXPECT_EQ(slot_file_name(10011, 0), "savedata\\tavelo_quick0.sav");
  EXPECT_EQ(slot_file_name(10012, 0), "savedata\\tavelo_quick7.sav");
  EXPECT_EQ(slot_file_name(10004, 3), "savedata\\tavelo_quick2.sav");
  EXPECT_EQ(slot_file_name(10000, 0), "savedata\\tavelo_quick3.sav");
}

TEST(Saves, quick_saves_go_round_the_ring_and_the_last_slot_is_skipped_once_after_a_load) {
  Runs runs;
  int32_t quick_num = -1;
  RunHooks hooks;
  hooks.before = [](TestEngine& test) {
    // Nine quick saves from the menu, 100 ms apart, while the script waits.
    for (uint32_t i = 0; i < 9; ++i) {
      platform::Event command;
      command.type = platform::EventType::MenuCommand;
      command.key = int32_t(host::kMenuQuickSave);
      command.time = test.platform.ticks_ms() + 200 + 100 * i;
      test.platform.inject_event(command);
    }
  };
  hooks.after = [&](TestEngine& test) {
    quick_num = resources::read_user_setting(test.engine.resources, resources::UserSetting::QuickNum);
  };
  runs.run(R"(
    syscall_discard 0x4D849AA6 0
    syscall_discard 0x1BB47604 0
    push_string "ring"
    syscall_discard 0xF8004993 1
    push_int 1500
    syscall_discard 0xCF35F0E3 1          ; wait while the player quick-saves
  )",
           "", hooks, "STLMENU 1\n");  // the menu with the quick items
  // Nine saves from QuickNum 0: files 1..7, 0, 1; the newest is 1.
  EXPECT_EQ(quick_num, 1);
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(std::filesystem::exists(runs.save("tavelo_quick" + std::to_string(i) + ".sav"))) << i;

}

TEST(Saves, the_first_save_to_the_last_slot_after_a_load_is_skipped) {
  Runs runs;
  ScriptRun run = runs.run(R"(
    syscall_discard 0x4D849AA6 0
    syscall_discard 0x1BB47604 0
    push_string "here"
    syscall_discard 0xF8004993 1
    load eternal int "#loaded@GLOBAL"
    jump_if_false first
    push_int -1
    syscall_discard 0x89018DD1 1          ; skipped
    push_int -1
    syscall 0x65075141 1
    push_int -1
    syscall_discard 0x89018DD1 1          ; written
    push_int -1
    syscall 0x65075141 1
    PRINT 2
    END
first:
    push_int 1
    set_int_pop eternal int "#loaded@GLOBAL"
    push_int 5
    syscall_discard 0x89018DD1 1
    push_int 5
    syscall_discard 0x3A3CA0F1 1
  )");
  EXPECT_EQ(run.lines, (Lines{"here  "})) << run.game.log;
}

TEST(Saves, the_name_set_and_eternal_values_outlive_the_run) {
  Runs runs;
  // A system save from an earlier run: 9 999 marked names and one eternal
  // counter.
  persistence::NameSet names{};
  for (uint32_t i = 0; i + 1 < persistence::kNameSetSize; ++i) names[i] = 0x1000 + i;
  script::Value counter = script::make_int(41);
  counter.hash = resources::name_hash("#count@GLOBAL");
  counter.scope = script::Scope::Eternal;
  runs.game.write("savedata/tavelo_system.tss", persistence::write_system_save(names, std::span(&counter, 1)));
  constexpr const char* kBody = R"(
    load eternal int pre_inc "#count@GLOBAL"
    push_string "EV_01.PNG"
    syscall 0xEB5CC468 1
    push_string "ev_02"
    syscall 0xEB5CC468 1
    push_string "ev_01"
    syscall 0x99A5DE25 1
    push_string "ev_02"
    syscall 0x99A5DE25 1
    PRINT 5
  )";
  // The 10 000th name fits, the next is refused; the counter goes on.
  EXPECT_EQ(runs.run(kBody).lines, (Lines{"0 1 -1 0 42 "}));
  EXPECT_EQ(runs.run(kBody).lines, (Lines{"0 1 -1 0 43 "}));
}

}  // namespace
}  // namespace tavelo::testing

namespace tavelo::testing {
namespace {

// The engine is killed at arbitrary moments while a script saves to one slot
// over and over, with a string that grows on every save. After every kill the
// slot holds a whole save: one that reads with every check and writes back
// to the same bytes, never a torn one.
TEST(Saves, a_kill_at_any_moment_leaves_a_whole_save) {
  TempDirectory game;
  GameFiles files;
  files.scripts.push_back({"scenario/start.tvo", start_script(R"(
    syscall_discard 0x4D849AA6 0
    syscall_discard 0x1BB47604 0
again:
    push_string "more text "
    add_set_string_pop global string "@s@GLOBAL"
    syscall_discard 0xF8004993 0
    push_int 1
    syscall_discard 0x89018DD1 1
    jump again
  )")});
  write_game(game, files);
  const std::string slot = game.at("savedata/tavelo_0001.sav");
  const std::string started = game.at("started");
  uint32_t random = 12345;
  int whole = 0;
  for (int round = 0; round < 50; ++round) {
    random = random * 1103515245u + 12345u;
    int milliseconds = int((random >> 16) % 300);
    // The kill comes a random moment after this run's first save has
    // replaced the slot, so it lands among the writes however long the
    // engine takes to start on a busy or instrumented machine.
    std::string script = "touch '" + started + "'; sleep 0.01; TAVELO_CONFIG_HOME='" + game.at("settings") + "' '" +
                         tool_path("tavelo") + "' --headless '" + game.path() +
                         "' & engine=$!; tries=0; "
                         "while ! [[ '" + slot + "' -nt '" + started + "' ]] && [ $tries -lt 3000 ]; do "
                         "sleep 0.01; tries=$((tries + 1)); done; sleep " +
                         std::to_string(milliseconds / 1000.0) + "; kill -KILL $engine; wait $engine";
    run_command("bash '" + game.write("kill.sh", script + "\n") + "'");
    std::optional<std::vector<uint8_t>> bytes = platform::read_file(slot);
    ASSERT_TRUE(bytes.has_value()) << "round " << round << ": no save within 30 s";
    persistence::SaveImage image;
    ASSERT_EQ(persistence::parse_save_file(*bytes, image), persistence::SaveFileStatus::Ok) << "round " << round;
    ASSERT_EQ(persistence::write_save_file(image), *bytes) << "round " << round;
    ++whole;
  }
  EXPECT_EQ(whole, 50);
}

}  // namespace
}  // namespace tavelo::testing
