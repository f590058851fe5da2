// One field list over a block, both ways: what saving writes over a block
// that held other bytes, what loading keeps and clears of a block a foreign
// file filled, and fields that do not fit.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/save_fields.h"

namespace tavelo {
namespace {

using resources::SaveDirection;
using resources::SaveFields;

// A block of 24 bytes: a text of 8, a gap of 4, an int, a flag and a text of 4.
struct Record {
  std::string name;
  int32_t number = 0;
  bool set = false;
  std::string tag;
};

bool fields_of(SaveFields& fields, Record& record) {
  fields.text(record.name, 8);
  fields.unused(4);
  fields.int32(record.number);
  fields.flag(record.set);
  fields.text(record.tag, 4);
  return fields.ok() && fields.position() == 24;
}

std::vector<uint8_t> bytes(std::initializer_list<int> values) { return std::vector<uint8_t>(values.begin(), values.end()); }

TEST(SaveFields, saving_covers_every_byte_and_loading_keeps_what_fields_read) {
  std::vector<uint8_t> block(24, 0xEE);
  Record record{"a long name", -2, true, "ab"};
  SaveFields saving(SaveDirection::Saving, block);
  ASSERT_TRUE(fields_of(saving, record));
  EXPECT_EQ(block, bytes({'a', ' ', 'l', 'o', 'n', 'g', ' ', 0,  // cut to 7 bytes and a NUL
                          0, 0, 0, 0,                          // the gap
                          0xFE, 0xFF, 0xFF, 0xFF,              // -2
                          1, 0, 0, 0,                          // set
                          'a', 'b', 0, 0}));

  // A foreign block: texts without a NUL or with bytes after it, a flag of 5,
  // something in the gap.
  block = bytes({'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 9, 9, 9, 9, 7, 0, 0, 0, 5, 0, 0, 0, 'x', 0, 'y', 'z'});
  Record loaded;
  SaveFields loading(SaveDirection::Loading, block);
  ASSERT_TRUE(fields_of(loading, loaded));
  EXPECT_EQ(loaded.name, "abcdefg");
  EXPECT_EQ(loaded.number, 7);
  EXPECT_TRUE(loaded.set);
  EXPECT_EQ(loaded.tag, "x");
  // What no field reads is cleared; the flag's word is kept as it was.
  EXPECT_EQ(block, bytes({'a', 'b', 'c', 'd', 'e', 'f', 'g', 0, 0, 0, 0, 0, 7, 0, 0, 0, 5, 0, 0, 0, 'x', 0, 0, 0}));
}

TEST(SaveFields, fields_past_the_block_read_as_nothing_and_write_nowhere) {
  std::vector<uint8_t> buffer(30, 0xEE);
  std::span<uint8_t> block(buffer.data(), 14);  // the name, the gap and half the int
  Record record{"name", 5, true, "t"};
  SaveFields saving(SaveDirection::Saving, block);
  EXPECT_FALSE(fields_of(saving, record));
  for (size_t at = 12; at < buffer.size(); ++at) EXPECT_EQ(buffer[at], 0xEE) << at;

  SaveFields loading(SaveDirection::Loading, block);
  EXPECT_FALSE(fields_of(loading, record));
  EXPECT_EQ(record.name, "name");
  EXPECT_EQ(record.number, 0);
  EXPECT_FALSE(record.set);
  EXPECT_EQ(record.tag, "");
}

}  // namespace
}  // namespace tavelo
