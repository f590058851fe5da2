// Every tool that prints to standard output notices when the output is lost:
// written to a full device, each ends with a non-zero status and says so.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "graphics/page.h"
#include "graphics/picture_png.h"
#include "tests/support/test_engine.h"

namespace tavelo {
namespace {

std::string tool(std::string_view name) { return "'" + testing::tool_path(name) + "'"; }

TEST(ToolOutput, a_lost_write_to_standard_output_fails_with_a_message) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  testing::TempDirectory directory;
  // Inputs for the tools that print what they read: a compiled script, an
  // archive and a picture, each made by a tool or the engine's own writer.
  std::string source = directory.write("start.tvoasm", ".entry main\nmain:\n    return\n");
  std::string script = directory.at("start.tvo");
  ASSERT_EQ(testing::run_command(tool("tvoasm") + " '" + source + "' -o '" + script + "'").exit_status, 0);
  directory.write("data/title.png", "picture bytes");
  std::string archive = directory.at("data.arc");
  ASSERT_EQ(testing::run_command(tool("tvarc") + " create '" + directory.at("data") + "' -o '" + archive + "'")
                .exit_status,
            0);
  graphics::Page page = graphics::make_page(4, 4, graphics::Depth::Rgb24);
  std::string picture = directory.write("in.png", graphics::encode_png(page, nullptr));

  const std::string commands[] = {
      tool("tvsyscalls"),  // 30 KB: more than one buffer, written past it
      tool("tvsyscalls") + " --count",
      tool("tvodis") + " '" + script + "'",
      tool("tvarc") + " list '" + archive + "'",
      tool("tvarc") + " verify '" + archive + "'",
      tool("tvimg") + " --stats '" + picture + "' '" + directory.at("out.rct") + "'",
      tool("tvoasm") + " --help",
      tool("tvdbg") + " --help",
  };
  for (const std::string& command : commands) {
    SCOPED_TRACE(command);
    testing::ProcessResult result = testing::run_command("{ " + command + " > /dev/full; }");
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.output.find(": cannot write standard output"), std::string::npos) << result.output;
  }
}

}  // namespace
}  // namespace tavelo
