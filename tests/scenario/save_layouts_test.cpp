// Save files and the system save laid out byte by byte by this test's own
// reader and writer, never the engine's (the two could share a mistake):
// number arrays take exactly 24 + 4n bytes, the innermost frame keeps the
// live stack top and its code targets in order, and files that hold only the innermost frame's locals load
// with them at its base. Also what a load or a save refuses without a box.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <map>

#include "platform/file_system.h"
#include "resources/name_hash.h"
#include "tests/support/script_harness.h"

namespace tavelo::testing {
namespace {

using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

// ---- the layouts, as this test reads and writes them

constexpr size_t kSaveHeader = 41952;
constexpr size_t kFrameRecord = 168;
constexpr size_t kSystemFixed = 40024;
constexpr int32_t kInt = 0, kString = 2, kIntArray = 3;

int32_t get32(const Bytes& bytes, size_t at) {
  return int32_t(uint32_t(bytes.at(at)) | uint32_t(bytes.at(at + 1)) << 8 | uint32_t(bytes.at(at + 2)) << 16 |
                 uint32_t(bytes.at(at + 3)) << 24);
}
void put32(Bytes& bytes, int32_t value) {
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(uint8_t(uint32_t(value) >> shift));
}
void put32_at(Bytes& bytes, size_t at, int32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(at + size_t(i)) = uint8_t(uint32_t(value) >> (8 * i));
}
void put_text_at(Bytes& bytes, size_t at, std::string_view text) {
  std::copy(text.begin(), text.end(), bytes.begin() + long(at));
}

// A value as a file keeps it: ints, strings and int arrays are all these
// tests need.
struct Stored {
  uint32_t hash = 0;
  int32_t type = kInt;
  int32_t number = 0;  // an int's value
  std::string text;
  std::array<int32_t, 3> sizes{1, 1, 1};  // size3, size2, size1
  std::vector<int32_t> elements;
};

struct FrameFields {
  std::string script;
  std::array<int32_t, 10> fields{};  // position, base, top, discard flag, line, five targets
  int32_t base() const { return fields[1]; }
  int32_t top() const { return fields[2]; }
};

struct SaveParts {
  std::vector<FrameFields> frames;
  std::array<std::vector<Stored>, 3> stores;  // global, thread, local records
};

// Reads count records at `at` and the payload after them, which must end the
// file. Every block is counted once, by its offset, with the size the layout
// gives it: together they must fill the payload exactly.
std::vector<Stored> read_values(const Bytes& file, size_t at, int32_t count, int32_t payload_size) {
  const size_t payload_at = at + 16 * size_t(count);
  EXPECT_EQ(file.size(), payload_at + size_t(payload_size));
  std::map<int32_t, size_t> block_sizes;
  std::vector<Stored> values;
  for (int32_t i = 0; i < count; ++i, at += 16) {
    Stored value;
    value.hash = uint32_t(get32(file, at));
    value.type = get32(file, at + 4);
    const int32_t third = get32(file, at + 8);
    const size_t block = payload_at + size_t(third);
    if (value.type == kInt) {
      value.number = get32(file, at + 12);
    } else if (value.type == kString) {
      const int32_t size = get32(file, block + 8);
      value.text.assign(reinterpret_cast<const char*>(&file.at(block + 12)), size_t(size - 1));
      block_sizes[third] = 12 + size_t(size);
    } else if (value.type == kIntArray) {
      value.sizes = {get32(file, block + 8), get32(file, block + 12), get32(file, block + 16)};
      const size_t n = size_t(value.sizes[0]) * size_t(value.sizes[1]) * size_t(value.sizes[2]);
      for (size_t e = 0; e < n; ++e) value.elements.push_back(get32(file, block + 20 + 4 * e));
      block_sizes[third] = 24 + 4 * n;
    } else {
      ADD_FAILURE() << "type " << value.type << " is not used here";
    }
    values.push_back(value);
  }
  size_t filled = 0;
  for (const auto& [offset, size] : block_sizes) filled += size;
  EXPECT_EQ(filled, size_t(payload_size)) << "blocks must fill the payload exactly";
  return values;
}

SaveParts read_save(const Bytes& file) {
  SaveParts parts;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data()), 16), std::string("TaveloSavV1.103\0", 16));
  EXPECT_EQ(get32(file, 148), 0) << "these saves take no thumbnail";
  size_t at = kSaveHeader;
  for (int32_t i = 0; i <= get32(file, 144); ++i, at += kFrameRecord) {
    FrameFields frame;
    frame.script = reinterpret_cast<const char*>(&file.at(at));
    for (size_t f = 0; f < 10; ++f) frame.fields[f] = get32(file, at + 128 + 4 * f);
    parts.frames.push_back(frame);
  }
  const std::array<int32_t, 3> counts{get32(file, 156), get32(file, 160), get32(file, 164)};
  std::vector<Stored> all = read_values(file, at, counts[0] + counts[1] + counts[2], get32(file, 168));
  auto next = all.begin();
  for (size_t s = 0; s < 3; next += counts[s], ++s) parts.stores[s].assign(next, next + counts[s]);
  return parts;
}

// The records and then the payload: strings first and int arrays last, so
// an array block ends the file.
Bytes records_and_payload(const std::vector<Stored>& values, int32_t& payload_size) {
  Bytes records, payload;
  std::vector<int32_t> offsets(values.size(), 0);
  for (int32_t type : {kString, kIntArray}) {
    for (size_t i = 0; i < values.size(); ++i) {
      const Stored& value = values[i];
      if (value.type != type) continue;
      offsets[i] = int32_t(payload.size());
      put32(payload, 1);           // references
      put32(payload, offsets[i]);  // own offset
      if (type == kString) {
        put32(payload, int32_t(value.text.size() + 1));
        payload.insert(payload.end(), value.text.begin(), value.text.end());
        payload.push_back(0);
      } else {
        for (int32_t size : value.sizes) put32(payload, size);
        for (int32_t element : value.elements) put32(payload, element);
        put32(payload, 0);  // the word without meaning
      }
    }
  }
  for (size_t i = 0; i < values.size(); ++i) {
    put32(records, int32_t(values[i].hash));
    put32(records, values[i].type);
    put32(records, values[i].type == kInt ? 1 : offsets[i]);  // scope, or the block's offset
    put32(records, values[i].type == kInt ? values[i].number : 0);
  }
  payload_size = int32_t(payload.size());
  records.insert(records.end(), payload.begin(), payload.end());
  return records;
}

Bytes write_save(const SaveParts& parts) {
  std::vector<Stored> all;
  for (const auto& store : parts.stores) all.insert(all.end(), store.begin(), store.end());
  int32_t payload_size = 0;
  Bytes values = records_and_payload(all, payload_size);
  Bytes file(kSaveHeader, 0);
  put_text_at(file, 0, std::string_view("TaveloSavV1.103\0", 16));
  put_text_at(file, 16, "layout");
  put32_at(file, 144, int32_t(parts.frames.size()) - 1);
  for (size_t s = 0; s < 3; ++s) put32_at(file, 156 + 4 * s, int32_t(parts.stores[s].size()));
  put32_at(file, 168, payload_size);
  for (const FrameFields& frame : parts.frames) {
    Bytes name(128, 0);
    put_text_at(name, 0, frame.script);
    file.insert(file.end(), name.begin(), name.end());
    for (int32_t field : frame.fields) put32(file, field);
  }
  file.insert(file.end(), values.begin(), values.end());
  return file;
}

Bytes write_system_save(const std::vector<Stored>& eternal) {
  int32_t payload_size = 0;
  Bytes values = records_and_payload(eternal, payload_size);
  Bytes file(kSystemFixed, 0);  // with an empty name set
  put_text_at(file, 0, std::string_view("TaveloSysV1.100\0", 16));
  put32_at(file, 16, int32_t(eternal.size()));
  put32_at(file, 20, payload_size);
  file.insert(file.end(), values.begin(), values.end());
  return file;
}

std::vector<Stored> read_system_save(const Bytes& file) {
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data()), 16), std::string("TaveloSysV1.100\0", 16));
  return read_values(file, kSystemFixed, get32(file, 16), get32(file, 20));
}

const Stored* find(const std::vector<Stored>& values, std::string_view name) {
  for (const Stored& value : values) {
    if (value.hash == resources::name_hash(name)) return &value;
  }
  return nullptr;
}

Stored int_array(std::string_view name, std::vector<int32_t> elements) {
  Stored value;
  value.hash = resources::name_hash(name);
  value.type = kIntArray;
  value.sizes = {1, 1, int32_t(elements.size())};
  value.elements = std::move(elements);
  return value;
}

// ---- the game

// Run 1 (no #phase yet) keeps a local in main and a global int array, calls
// inner(41), whose two locals are set before its save point, and bare(42),
// which has none; each saves at its save point (slots 1 and 3). Every later
// run loads slot 2, which the test writes in between; the loaded function
// prints what it finds and returns into main, which goes on.
constexpr const char* kGame = R"(
    locals int
    push_int 5
    set_int_pop local int slot:0
    load eternal int "#phase@GLOBAL"
    jump_if_false first_run
    push_int 2
    syscall 0x3A3CA0F1 1                  ; load slot 2
    push_string "load refused"
    PRINT 2
    END
first_run:
    push_int 1
    set_int_pop eternal int "#phase@GLOBAL"
    syscall_discard 0x4D849AA6 0          ; enable saving
    syscall_discard 0x1BB47604 0          ; enable save points
    push_int 3
    syscall 0x96B07AEE 1
    set_int_array_pop global int_array "@nums@GLOBAL"
    push_int 30
    push_int 2
    elem_set_int_pop global int subscripts:1 "@nums@GLOBAL"
    push_int 41
    call "$inner@GLOBAL" 1
    push_int 42
    call "$bare@GLOBAL" 1
    load local int slot:0
    PRINT 3
)";

constexpr const char* kFunctions = R"(
.function "$inner@GLOBAL" inner
.function "$bare@GLOBAL" bare
inner:
    params int
    locals int string
    push_int 100
    set_int_pop local int slot:0
    push_string "text"
    set_string_pop local string slot:1
    on_left_click left_target
    on_right_click right_target
    on_middle_click middle_target
    set_break break_target
    on_end end_target
    syscall_discard 0xF8004993 0          ; save point
    load eternal int "#inner_saved@GLOBAL"
    jump_if_false save_inner
    load local int slot:-2
    load local int slot:0
    load local string slot:1
    push_int 2
    load_elem global int subscripts:1 "@nums@GLOBAL"
    push_string "inner"
    PRINT 5
    push_int 7
    return
save_inner:
    push_int 1
    set_int_pop eternal int "#inner_saved@GLOBAL"
    push_int 1
    syscall_discard 0x89018DD1 1
    push_int 7
    return
bare:
    params int
    syscall_discard 0xF8004993 0
    load eternal int "#bare_saved@GLOBAL"
    jump_if_false save_bare
    load local int slot:-2
    push_string "bare"
    PRINT 2
    push_int 8
    return
save_bare:
    push_int 1
    set_int_pop eternal int "#bare_saved@GLOBAL"
    push_int 3
    syscall_discard 0x89018DD1 1
    push_int 8
    return
left_target:                              ; never reached: no click or break
    push_int 0
right_target:
    push_int 0
middle_target:
    push_int 0
break_target:
    push_int 0
end_target:                               ; inner's return comes here
    push_int 7
    return
)";

struct Game {
  TempDirectory directory;

  Game() {
    GameFiles files;
    files.scripts.push_back({"scenario/start.tvo", start_script(kGame, kFunctions)});
    write_game(directory, files);
  }
  ScriptRun run() {
    std::filesystem::remove(directory.at("debugout.log"));
    ScriptRun result;
    result.game = run_game(directory);
    result.lines = log_messages(result.game.log);
    return result;
  }
  Bytes slot(int number) const {
    return platform::read_file(directory.at("savedata/tavelo_000" + std::to_string(number) + ".sav")).value_or(Bytes{});
  }
  void write_slot_2(const Bytes& bytes) const { directory.write("savedata/tavelo_0002.sav", bytes); }
};

// Keeps only the innermost frame's locals, as files that hold no more do,
// with the innermost stack top they imply.
SaveParts innermost_only(SaveParts parts) {
  FrameFields& innermost = parts.frames.back();
  std::vector<Stored>& locals = parts.stores[2];
  // Local record i is stack slot i + 1.
  locals.erase(locals.begin(), locals.begin() + (innermost.base() - 1));
  innermost.fields[2] = innermost.base() + int32_t(locals.size());
  return parts;
}

TEST(SaveLayouts, saves_keep_the_live_stack_top_and_either_layout_of_locals_loads) {
  Game game;
  // Printed values come top first.
  ASSERT_EQ(game.run().lines, (Lines{"5 8 7 "}));
  const SaveParts inner = read_save(game.slot(1));
  const SaveParts bare = read_save(game.slot(3));
  ASSERT_EQ(inner.frames.size(), 2u);
  ASSERT_EQ(bare.frames.size(), 2u);
  // inner: argument, count, then its two locals at its base; the stack top
  // is above them. bare has no locals: its top is its base.
  EXPECT_EQ(inner.frames[1].top(), inner.frames[1].base() + 2);
  EXPECT_EQ(bare.frames[1].top(), bare.frames[1].base());
  // inner's five targets, set in the order the record keeps them (left,
  // right, middle handler, break target, end handler), lie after its save
  // point in that order; main set none.
  const std::array<int32_t, 10>& fields = inner.frames[1].fields;
  for (size_t f = 5; f < 10; ++f) EXPECT_LT(fields[f - 1], fields[f]) << "field " << f;
  for (size_t f = 5; f < 10; ++f) EXPECT_EQ(inner.frames[0].fields[f], 0) << "field " << f;
  // The engine writes the whole stack: main's local, 41, the count, 100, "text".
  EXPECT_EQ(int32_t(inner.stores[2].size()), inner.frames[1].top() - 1);
  const Stored* nums = find(inner.stores[0], "@nums@GLOBAL");
  ASSERT_TRUE(nums);
  EXPECT_EQ(nums->elements, (std::vector<int32_t>{0, 0, 30}));

  struct Case {
    const char* what;
    Bytes file;
    Lines lines;
  };
  const Case cases[] = {
      // The whole stack, rewritten with an int array as the payload's last
      // block: every frame finds its own values again.
      {"whole stack", write_save(inner), {"inner 30 text 100 41 ", "bare 42 ", "5 8 7 "}},
      // Only inner's locals: they land at its base; its argument and main's
      // local were not kept and read 0.
      {"innermost locals", write_save(innermost_only(inner)), {"inner 30 text 100 0 ", "bare 42 ", "0 8 7 "}},
      // Saved inside a function without locals: no records at all.
      // (main's stack below bare's base, inner's result among it, reads 0.)
      {"no locals", write_save(innermost_only(bare)), {"bare 0 ", "0 8 0 "}},
  };
  for (const Case& c : cases) {
    game.write_slot_2(c.file);
    ScriptRun run = game.run();
    EXPECT_EQ(run.lines, c.lines) << c.what << "\n" << run.game.log;
    EXPECT_TRUE(run.game.boxes.empty()) << c.what;
  }
}

TEST(SaveLayouts, eternal_int_arrays_survive_restarts_in_a_system_save_of_exact_size) {
  TempDirectory directory;
  GameFiles files;
  files.scripts.push_back({"scenario/start.tvo", start_script(R"(
    load eternal int pre_inc "#runs@GLOBAL"
    push_int 1
    load_elem eternal int subscripts:1 "#seen@GLOBAL"
    push_int 3
    load_elem eternal int subscripts:1 "#seen@GLOBAL"
    PRINT 3
    load eternal int "#runs@GLOBAL"
    push_int 1
    elem_set_int_pop eternal int subscripts:1 "#seen@GLOBAL"
  )")});
  write_game(directory, files);
  Stored runs;
  runs.hash = resources::name_hash("#runs@GLOBAL");
  runs.number = 1;
  // The array is the payload's only and last block: 24 + 4·4 bytes.
  directory.write("savedata/tavelo_system.tss", write_system_save({runs, int_array("#seen@GLOBAL", {9, 8, 7, 6})}));
  Lines lines;
  for (int i = 0; i < 2; ++i) {
    std::filesystem::remove(directory.at("debugout.log"));
    for (const std::string& line : log_messages(run_game(directory).log)) lines.push_back(line);
  }
  // Element 3, element 1 and the run count: each run sees the count the one
  // before put into element 1.
  EXPECT_EQ(lines, (Lines{"6 8 2 ", "6 2 3 "}));
  std::vector<Stored> written = read_system_save(*platform::read_file(directory.at("savedata/tavelo_system.tss")));
  const Stored* seen = find(written, "#seen@GLOBAL");
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->elements, (std::vector<int32_t>{9, 3, 7, 6}));
}

TEST(SaveLayouts, damaged_saves_and_scripts_are_refused_without_a_box) {
  Game game;
  ASSERT_EQ(game.run().lines, (Lines{"5 8 7 "}));
  const SaveParts inner = read_save(game.slot(1));
  game.directory.write("scenario/broken.tvo", std::string("TaveloObjV1.000\0 cut short", 26));

  SaveParts wrapping = inner;
  // 15 × 714156689 × 1722007169 wraps to -1 in 64 bits.
  for (Stored& value : wrapping.stores[0]) {
    if (value.type == kIntArray) value.sizes = {15, 714156689, 1722007169};
  }
  SaveParts broken_script = inner;
  broken_script.frames[1].script = "BROKEN.TVO";
  SaveParts long_name = inner;
  long_name.frames[1].script = std::string(127, 'A');
  const std::pair<const char*, SaveParts> cases[] = {
      {"array sizes that wrap", wrapping}, {"damaged script", broken_script}, {"127-byte name", long_name}};
  for (const auto& [what, parts] : cases) {
    game.write_slot_2(write_save(parts));
    ScriptRun run = game.run();
    // The debug log names the file, then the game goes on.
    ASSERT_EQ(run.lines.size(), 2u) << what << "\n" << run.game.log;
    EXPECT_EQ(run.lines[0].rfind("ロードに失敗しました ", 0), 0u) << what;
    EXPECT_EQ(run.lines[1], "load refused -1 ") << what;
    EXPECT_TRUE(run.game.boxes.empty()) << what << ": " << (run.game.boxes.empty() ? "" : run.game.boxes[0].text);
  }
}

}  // namespace
}  // namespace tavelo::testing
