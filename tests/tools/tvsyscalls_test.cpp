// tvsyscalls and docs/syscalls.md: the committed list must be what the tool
// prints for the current table, so it cannot fall behind the code; the JSON
// form is the same list for editors and compilers.

#include <gtest/gtest.h>

#include <string>

#include "host/syscall_tables.h"
#include "script/dispatch.h"
#include "tests/support/test_engine.h"
#include "tools/tvsyscalls/syscall_listing.h"

namespace tavelo {
namespace {

TEST(Tvsyscalls, committed_list_matches_the_table) {
  std::vector<uint8_t> bytes = testing::read_bytes(std::string(TAVELO_SOURCE_DIR) + "/docs/syscalls.md");
  std::string committed(bytes.begin(), bytes.end());
  EXPECT_TRUE(committed == tools::syscall_listing())
      << "docs/syscalls.md is out of date; regenerate it with\n"
         "  ninja -C BUILD tvsyscalls && BUILD/bin/tvsyscalls > docs/syscalls.md";
}

TEST(Tvsyscalls, program_prints_the_list_and_the_count) {
  std::string tool = "'" + testing::tool_path("tvsyscalls") + "'";
  testing::ProcessResult listing = testing::run_command(tool);
  EXPECT_EQ(listing.exit_status, 0);
  EXPECT_EQ(listing.output, tools::syscall_listing());

  script::SyscallTable table;
  ASSERT_TRUE(host::build_engine_syscall_table(table));
  testing::ProcessResult count = testing::run_command(tool + " --count");
  EXPECT_EQ(count.output, "458 of 458\n") << "every key the engine knows has a handler";
  // Every row names its owner; none falls through to "?".
  EXPECT_EQ(listing.output.find("| ? |"), std::string::npos);

  // The JSON form takes each signature apart for readers without the engine.
  testing::ProcessResult json = testing::run_command(tool + " --json");
  EXPECT_EQ(json.exit_status, 0);
  EXPECT_EQ(json.output, tools::syscall_listing_json());
  EXPECT_NE(json.output.find("{\"key\": \"0x4980F82C\", \"name\": \"music\", \"owner\": \"audio\", \"control\": false,\n"
                             "   \"signature\": \"str name [, int loop = 1] -> int 0; an empty name stops the music\",\n"
                             "   \"arguments\": [{\"name\": \"name\", \"kind\": \"str\", \"optional\": false}, "
                             "{\"name\": \"loop\", \"kind\": \"int\", \"optional\": true, \"default\": \"1\"}],\n"
                             "   \"counts\": [1, 2], \"min\": 1, \"max\": 2, \"result\": \"int\", "
                             "\"note\": \"0; an empty name stops the music\"}"),
            std::string::npos)
      << json.output.substr(0, 600);
}

}  // namespace
}  // namespace tavelo
