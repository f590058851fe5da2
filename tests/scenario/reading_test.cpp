// The demo read aloud and served to learners' tools, played by its own
// unattended input (games/demo/autoplay.txt: the title's first button, then a
// click every 2.5 s, which takes the choice's first answer). The pages
// expected here are the demo's own (games/demo/scenario/start.tvs), written
// out by hand from its script: a page's speaker is the last name on it, said
// apart before the text when reading aloud; one message of speaker and text
// per page for the WebSocket clients and the clipboard.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "host/engine.h"
#include "host/input_replay.h"
#include "platform/page_server.h"
#include "resources/environment.h"
#include "resources/settings.h"
#include "resources/state.h"
#include "tests/support/game_builder.h"
#include "tests/support/test_engine.h"
#include "tests/support/websocket_client.h"
#include "text/state.h"

namespace tavelo::testing {
namespace {

using Lines = std::vector<std::string>;

const std::string kNarration1 = "丘に立つと、遠くの町の灯りがひとつ、またひとつと、静かに点っていった。";
const std::string kBoy1 = "「きれいだね。あの星はね、ずっと昔から、ああして丘の上で回っているんだよ」";
const std::string kGirl1 = "「ほんとう？　じゃあ、もう少しここにいようか。それとも、町へ帰る？」";
const std::string kNarration2 = "二人は並んで腰を下ろした。星は、回るたびに少しずつ明るくなっていく。";
const std::string kGirl2 = "「ねえ、今の音、聞こえた？」";
const std::string kEnding = "――星の結末。";
// The demo's title and a story to its first ending take 20 s of script time.
constexpr uint32_t kPlayMs = 20000;

std::string autoplay() {
  std::vector<uint8_t> bytes = read_bytes(std::string(TAVELO_SOURCE_DIR) + "/games/demo/autoplay.txt");
  return std::string(bytes.begin(), bytes.end());
}

std::string copy_demo(const std::string& to) {
  const std::string demo = std::string(TAVELO_BIN_DIR) + "/../games/demo";
  EXPECT_EQ(run_command("mkdir -p '" + to + "' && cp -r '" + demo + "/.' '" + to + "'").exit_status, 0);
  return to;
}

std::string text_of(const std::string& path) {
  std::vector<uint8_t> bytes = read_bytes(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(Reading, speech_out_lists_every_page_with_its_speaker_in_order_and_nothing_while_off) {
  TempDirectory directory;
  const std::string game = copy_demo(directory.at("demo"));
  auto run = [&](const std::string& name, const std::string& input) {
    directory.write(name + ".input", input + autoplay());
    const std::string options = "--quit-after " + std::to_string(kPlayMs) + " --speech-out '" + directory.at(name) +
                                "' --input '" + directory.at(name + ".input") + "'";
    const std::string command = "TAVELO_CONFIG_HOME='" + directory.at(name + ".settings") + "' timeout 120 '" +
                                tool_path("tavelo") + "' --headless " + options + " '" + game + "'";
    EXPECT_EQ(run_command(command).exit_status, 0) << name;
    return text_of(directory.at(name));
  };

  EXPECT_EQ(run("off.txt", ""), "");

  // Alt+R at the start turns reading aloud on, and says so.
  const std::string on = run("on.txt", "0 key down Left Alt\n10 key R\n100 key up Left Alt\n");
  Lines said;
  uint32_t last_time = 0;
  for (size_t start = 0; start < on.size();) {
    const size_t end = on.find('\n', start);
    const std::string line = on.substr(start, end - start);
    start = end == std::string::npos ? on.size() : end + 1;
    unsigned time = 0;
    int skip = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%u %n", &time, &skip), 1) << line;
    EXPECT_GE(time, last_time) << line;
    last_time = time;
    said.push_back(line.substr(size_t(skip)));
  }
  // Each page stops what was being said; the title's voice stops the reader
  // too.
  const Lines expected = {
      "stop", "say 読み上げ、オン",
      "stop",  // the voice
      "stop", "say 少年", "say " + kNarration1 + " " + kBoy1,
      "stop", "say 少女", "say " + kGirl1,
      "stop", "say 少女", "say " + kNarration2 + " " + kGirl2,
      "stop", "say " + kEnding,
  };
  EXPECT_EQ(said, expected);
}

TEST(Reading, each_page_of_the_demo_reaches_a_websocket_client_and_the_clipboard_once_in_order) {
  TempDirectory directory;
  copy_demo(directory.path());
  platform::PageServer::Start start = platform::PageServer::start("127.0.0.1", 0);
  ASSERT_NE(start.server, nullptr) << start.problem;
  const uint16_t port = start.server->port();
  WebSocketClient client;
  ASSERT_TRUE(client.connect(port));
  for (int i = 0; i < 500 && start.server->client_count() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  {
    // The player's settings, as the dialogs would store them.
    TestEngine settings(directory.path());
    std::vector<uint8_t> environment = read_bytes(directory.at("tavelo.env"));
    settings.engine.resources.environment = resources::parse_environment(
        std::string_view(reinterpret_cast<const char*>(environment.data()), environment.size()),
        settings.engine.encoding.lead_bytes());
    settings.engine.resources.settings.store_directory = directory.at("settings");
    using resources::UserSetting;
    for (auto [setting, value] : {std::pair{UserSetting::TextToSocket, int32_t(1)},
                                  std::pair{UserSetting::TextSocketPort, int32_t(port)},
                                  std::pair{UserSetting::TextToClipboard, int32_t(1)}}) {
      ASSERT_EQ(resources::write_user_setting(settings.engine.resources, setting, value), resources::SettingsWrite::Written);
    }
  }
  RunHooks hooks;
  // The engine serves on the port the settings name; this server, already
  // listening with the client connected, is the one it keeps.
  hooks.before = [&](TestEngine& test) {
    test.engine.text.reading.server = std::move(start.server);
    test.engine.text.reading.server_port = port;
  };
  std::string clipboard;
  hooks.after = [&](TestEngine& test) { clipboard = test.platform.clipboard_text(); };
  const std::function<void(TestEngine&)> settings_before = hooks.before;
  hooks.before = [&](TestEngine& test) {
    settings_before(test);
    host::ReplayParse input = host::parse_input_replay(autoplay(), directory.path());
    ASSERT_FALSE(input.error);
    host::load_input_replay(test.engine, std::move(input.events));
  };
  host::StartupOptions options;
  options.quit_after_ms = kPlayMs;
  GameRun run = run_game(directory, options, {}, hooks);
  EXPECT_EQ(run.status, 0);

  const Lines expected = {"少年" + kNarration1 + "\n" + kBoy1, "少女" + kGirl1,
                          "少女" + kNarration2 + "\n" + kGirl2, kEnding};
  Lines received;
  while (std::optional<std::string> page = client.receive_text(1000)) received.push_back(*page);
  EXPECT_EQ(received, expected);
  EXPECT_EQ(clipboard, expected.back());
}

}  // namespace
}  // namespace tavelo::testing
