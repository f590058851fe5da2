// The read-mark file: the byte-level reader and writer, and loading and
// saving the engine's read-mark list.

#include "library/read_mark_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "host/engine.h"
#include "resources/environment.h"
#include "resources/state.h"
#include "script/loader.h"
#include "script/state.h"
#include "tests/support/test_engine.h"

namespace tavelo {
namespace {

using script::ReadMarkSet;

// One record as the file holds it: 128-byte name field, size, line count,
// 12 reserved bytes (filled with junk: readers must ignore them), bits.
std::vector<uint8_t> record(std::string_view name, uint32_t size, uint32_t line_count, std::vector<uint8_t> bits,
                            bool terminate_name = true) {
  std::vector<uint8_t> out(128, terminate_name ? 0 : 'N');
  std::memcpy(out.data(), name.data(), std::min<size_t>(name.size(), 128));
  for (uint32_t value : {size, line_count, 0xDEADBEEFu, 0xFFFFFFFFu, 7u}) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
  }
  out.insert(out.end(), bits.begin(), bits.end());
  return out;
}

std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

std::unique_ptr<ReadMarkSet> make_set(std::string name, uint32_t line_count, std::initializer_list<uint32_t> read) {
  auto set = std::make_unique<ReadMarkSet>();
  set->name = std::move(name);
  set->line_count = line_count;
  set->bits.assign(script::read_mark_bytes(line_count), 0);
  for (uint32_t line : read) set->bits[line / 8] |= uint8_t(1u << (line % 8));
  return set;
}

std::vector<std::string> names(const std::vector<std::unique_ptr<ReadMarkSet>>& list) {
  std::vector<std::string> out;
  for (const auto& set : list) out.push_back(set->name);
  return out;
}

TEST(ReadMarkFile, damaged_records_lose_only_themselves) {
  std::vector<uint8_t> good = record("GOOD.TVO", 17, 8, std::vector<uint8_t>(17, 0x81));
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    size_t sets;     // records read (GOOD.TVO each time)
    size_t dropped;
    bool truncated;
  };
  std::vector<Case> cases = {
      {"empty file", {}, 0, 0, false},
      {"header cut short", join({good, std::vector<uint8_t>(100, 'x')}), 1, 0, true},
      {"bits cut short", join({good, record("CUT.TVO", 17, 8, std::vector<uint8_t>(5, 1))}), 1, 0, true},
      {"size field far past the end", join({good, record("BIG.TVO", 0xFFFFFFF0u, 8, {})}), 1, 0, true},
      {"huge line count in a small array",
       join({record("HUGE.TVO", 16, 0xFFFFFFFFu, std::vector<uint8_t>(16, 0xFF)), good}), 1, 1, false},
      {"array too small for its lines", join({record("SMALL.TVO", 3, 100, {1, 2, 3}), good}), 1, 1, false},
      {"unterminated name", join({record("X", 16, 0, std::vector<uint8_t>(16), false), good}), 1, 1, false},
      {"empty name", join({record("", 16, 0, std::vector<uint8_t>(16)), good}), 1, 1, false},
  };
  for (const Case& c : cases) {
    library::ReadMarkFileContent content = library::parse_read_mark_file(c.file);
    ASSERT_EQ(content.sets.size(), c.sets) << c.what;
    EXPECT_EQ(content.dropped, c.dropped) << c.what;
    EXPECT_EQ(content.truncated, c.truncated) << c.what;
    for (const ReadMarkSet& set : content.sets) {
      EXPECT_EQ(set.name, "GOOD.TVO") << c.what;
      EXPECT_EQ(set.bits, std::vector<uint8_t>(17, 0x81)) << c.what;
    }
  }
}

TEST(ReadMarkFile, arrays_of_another_size_are_fitted_to_the_line_count) {
  // Longer than the line count needs: the extra bytes go; the bits stay.
  std::vector<uint8_t> long_bits(40, 0);
  long_bits[0] = 0x05;
  long_bits[39] = 0xFF;
  // Exactly the bytes the lines need, without spare: padded with zeros.
  std::vector<uint8_t> file = join({record("LONG.TVO", 40, 16, long_bits), record("TIGHT.TVO", 2, 16, {0xFF, 0x80})});
  library::ReadMarkFileContent content = library::parse_read_mark_file(file);
  ASSERT_EQ(content.sets.size(), 2u);
  std::vector<uint8_t> expected_long(18, 0);
  expected_long[0] = 0x05;
  EXPECT_EQ(content.sets[0].bits, expected_long);
  std::vector<uint8_t> expected_tight(18, 0);
  expected_tight[0] = 0xFF;
  expected_tight[1] = 0x80;
  EXPECT_EQ(content.sets[1].bits, expected_tight);
}

TEST(ReadMarkFile, line_counts_beyond_16_bit_line_numbers_are_cut) {
  // A file written for a script that claimed 70000 lines.
  std::vector<uint8_t> bits((70000 + 7) / 8, 0xFF);
  library::ReadMarkFileContent content = library::parse_read_mark_file(record("BIG.TVO", uint32_t(bits.size()), 70000, bits));
  ASSERT_EQ(content.sets.size(), 1u);
  EXPECT_EQ(content.sets[0].line_count, 65536u);
  EXPECT_EQ(content.sets[0].bits, std::vector<uint8_t>(script::read_mark_bytes(65536), 0xFF));
}

struct Game {
  Game() : test(directory.path()) { test.engine.resources.settings.store_directory = directory.at("config"); }
  std::string file_path() const { return directory.at("savedata/tavelo_readmark.tss"); }
  void set_environment(std::string_view text) {
    test.engine.resources.environment = resources::parse_environment(text, test.engine.encoding.lead_bytes());
    resources::forget_environment_values(test.engine.resources.settings);
  }
  std::vector<std::unique_ptr<ReadMarkSet>>& list() { return test.engine.script.scripts.read_marks; }

  testing::TempDirectory directory;
  testing::TestEngine test;
};

TEST(ReadMarkFile, loading_puts_records_at_the_head_once_per_engine) {
  Game game;
  std::vector<std::unique_ptr<ReadMarkSet>> sets;
  sets.push_back(make_set("FIRST.TVO", 8, {1}));
  sets.push_back(make_set("second.tvo", 8, {2}));
  game.directory.write("savedata/tavelo_readmark.tss", library::write_read_mark_file(sets));

  library::load_read_marks(game.test.engine.script);
  // Names are matched like script names, so they come back in upper case.
  EXPECT_EQ(names(game.list()), (std::vector<std::string>{"SECOND.TVO", "FIRST.TVO"}));
  ASSERT_NE(script::find_read_mark_set(game.test.engine.script, "SECOND.TVO"), nullptr);

  std::filesystem::remove(game.file_path());
  library::load_read_marks(game.test.engine.script);
  EXPECT_EQ(game.list().size(), 2u);
}

TEST(ReadMarkFile, a_set_made_before_loading_keeps_its_place_and_gains_the_file_bits) {
  Game game;
  // The start script is loaded (and given a fresh set) before the first reset
  // reads the file.
  game.list().push_back(make_set("START.TVO", 16, {3}));
  game.list().push_back(make_set("CHANGED.TVO", 16, {4}));
  ReadMarkSet* start = game.list()[0].get();
  std::vector<std::unique_ptr<ReadMarkSet>> sets;
  sets.push_back(make_set("START.TVO", 16, {7}));
  sets.push_back(make_set("CHANGED.TVO", 24, {5}));  // the script's line count changed since
  game.directory.write("savedata/tavelo_readmark.tss", library::write_read_mark_file(sets));

  library::load_read_marks(game.test.engine.script);
  ASSERT_EQ(names(game.list()), (std::vector<std::string>{"START.TVO", "CHANGED.TVO"}));
  EXPECT_EQ(game.list()[0].get(), start);
  EXPECT_EQ(start->bits[0], 0x88);
  EXPECT_EQ(game.list()[1]->bits[0], 0x10);
}

TEST(ReadMarkFile, saving_writes_the_list_in_order_and_frees_it) {
  Game game;
  game.list().push_back(make_set("B.TVO", 8, {1}));
  game.list().push_back(make_set("A.TVO", 8, {2}));
  library::save_read_marks(game.test.engine.script);  // creates savedata as well
  EXPECT_TRUE(game.list().empty());
  library::ReadMarkFileContent content = library::parse_read_mark_file(testing::read_bytes(game.file_path()));
  ASSERT_EQ(content.sets.size(), 2u);
  EXPECT_EQ(content.sets[0].name, "B.TVO");
  EXPECT_EQ(content.sets[1].name, "A.TVO");
}

TEST(ReadMarkFile, nothing_is_written_when_disabled_or_empty) {
  {
    Game game;
    game.set_environment("LOADSAVEDISABLE 1\n");
    game.list().push_back(make_set("B.TVO", 8, {1}));
    library::save_read_marks(game.test.engine.script);
    EXPECT_FALSE(std::filesystem::exists(game.file_path()));
    EXPECT_TRUE(game.list().empty());
  }
  {
    Game game;
    game.directory.write("savedata/tavelo_readmark.tss", "old");
    library::save_read_marks(game.test.engine.script);
    EXPECT_EQ(testing::read_bytes(game.file_path()), (std::vector<uint8_t>{'o', 'l', 'd'}));
  }
}

TEST(ReadMarkFile, the_fast_read_directory_holds_the_file_when_kept) {
  Game game;
  std::string fast = game.directory.make_directory("fast");
  game.test.engine.resources.fast_read_directory = fast;
  game.list().push_back(make_set("B.TVO", 8, {1}));
  library::save_read_marks(game.test.engine.script);
  EXPECT_TRUE(std::filesystem::exists(fast + "/savedata/tavelo_readmark.tss"));
  EXPECT_FALSE(std::filesystem::exists(game.file_path()));
}

}  // namespace
}  // namespace tavelo
