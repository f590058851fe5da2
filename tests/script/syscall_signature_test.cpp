// System-call signatures: the grammar compilers check calls against, and the
// engine's tables, where every call must have a unique name and a signature
// that parses.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "host/syscall_tables.h"
#include "script/dispatch.h"
#include "script/syscall_signature.h"

namespace tavelo::script {
namespace {

TEST(SyscallSignature, reads_arguments_groups_and_result) {
  struct Case {
    std::string_view text;
    std::vector<int> counts;
    bool repeats;
    std::string result;
    std::string_view note;
  };
  const Case cases[] = {
      {"-> int", {0}, false, "int", ""},
      {"str name [, int loop = 1] -> int 0; an empty name stops", {1, 2}, false, "int", "0; an empty name stops"},
      {"str file, int from [, int stop = 1 [, int x, int y, int w, int h]] -> int 0", {2, 3, 7}, false, "int", "0"},
      {"[int thread [, int code]] -> none", {0, 1, 2}, false, "none", ""},
      {"func function, any arguments... -> int the new id", {1}, true, "int", "the new id"},
      {"int[]|str[] values, float x -> str|float", {2}, false, "float|str", ""},
      {"any value -> any", {1}, false, "any", ""},
  };
  for (const Case& c : cases) {
    std::string error;
    std::optional<SyscallSignature> signature = parse_syscall_signature(c.text, &error);
    ASSERT_TRUE(signature) << c.text << ": " << error;
    EXPECT_EQ(signature->counts, c.counts) << c.text;
    EXPECT_EQ(signature->repeats, c.repeats) << c.text;
    EXPECT_EQ(signature_kind_text(signature->result), c.result) << c.text;
    EXPECT_EQ(signature->result_note, c.note) << c.text;
  }

  std::optional<SyscallSignature> movie = parse_syscall_signature(cases[2].text);
  EXPECT_TRUE(movie->accepts(3));
  EXPECT_FALSE(movie->accepts(4));  // the position comes whole or not at all
  EXPECT_EQ(movie->arguments[2].default_value, "1");
  EXPECT_EQ(movie->arguments[2].group, 1);
  EXPECT_EQ(movie->arguments[6].group, 2);
  EXPECT_EQ(movie->max_count(), 7);
  std::optional<SyscallSignature> thread = parse_syscall_signature(cases[4].text);
  EXPECT_EQ(thread->arguments[0].kinds, signature_bit(SignatureKind::Function));
  EXPECT_TRUE(thread->accepts(9));
  EXPECT_FALSE(thread->accepts(0));
  EXPECT_EQ(thread->max_count(), -1);
}

TEST(SyscallSignature, refuses_malformed_text) {
  const std::string_view bad[] = {
      "int x",                          // no result
      "int x ->",                       // no result kind
      "int x -> number",                // unknown result kind
      "integer x -> int",               // unknown kind
      "int -> int",                     // no name
      "int X -> int",                   // not lower_snake
      "int x, int x -> int",            // twice the same name
      "int x, -> int",                  // argument missing
      "int x int y -> int",             // not one kind and one name
      "int x = 1 -> int",               // default outside a group
      "int x [int y] -> int",           // "[" after an argument without ","
      "[, int x] -> int",               // "," at the start of the list
      "int x [, int y], int z -> int",  // an argument after a group
      "int x [, int y] [, int z] -> int",
      "int x [, int y -> int",          // unclosed
      "int x] -> int",
      "[] -> int",
      "any args..., int x -> int",      // the repeating argument is last
      "int x [, any args...] -> int",   // and outside groups
      "int x [, int y = ] -> int",
  };
  for (std::string_view text : bad) {
    std::string error;
    EXPECT_FALSE(parse_syscall_signature(text, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

// One check over every table: a compiler finds each call by a name of its
// own and can check the argument count of every call.
TEST(SyscallSignature, every_entry_has_a_unique_name_and_a_signature_that_parses) {
  std::set<std::string_view> names;
  for (const SyscallTablePart& part : host::syscall_table_parts()) {
    for (const SyscallEntry& entry : part.entries) {
      SCOPED_TRACE(testing::Message() << part.owner << std::hex << " 0x" << entry.key << " " << entry.name);
      EXPECT_TRUE(!entry.name.empty() && entry.name.front() >= 'a' && entry.name.front() <= 'z' &&
                  entry.name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") == std::string_view::npos)
          << "not a lower_snake name";
      EXPECT_TRUE(names.insert(entry.name).second) << "the name is taken";
      std::string error;
      EXPECT_TRUE(parse_syscall_signature(entry.signature, &error)) << entry.signature << ": " << error;
    }
  }
}

}  // namespace
}  // namespace tavelo::script
