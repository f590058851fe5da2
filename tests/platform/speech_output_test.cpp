// Reading aloud through a real speech-dispatcher daemon, when one can be
// started here (the client library starts an installed daemon itself); the
// test is skipped on machines without it.

#include "platform/speech_output.h"

#include <gtest/gtest.h>

namespace tavelo::platform {
namespace {

TEST(SpeechOutput, a_real_daemon_takes_japanese_and_english_text_and_stops) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  // The client library starts the daemon as a child, which inherits the
  // sanitizer's run-time and never answers; the plain build runs this test.
  GTEST_SKIP() << "the daemon cannot be started from a sanitizer build";
#endif
  using namespace std::chrono_literals;
  SpeechOutput speech("tavelo-test");
  speech.say("読み上げのテスト", "ja", true);
  // A daemon that stopped answering holds the first request for ever; the
  // engine's end then leaves the thread behind instead of waiting.
  if (!speech.flush(20s)) GTEST_SKIP() << "the speech-dispatcher daemon does not answer";
  if (!speech.connected()) GTEST_SKIP() << "no speech-dispatcher daemon";
  speech.say("Reading aloud works.", "", false);
  speech.stop();
  EXPECT_TRUE(speech.flush(20s));
  EXPECT_TRUE(speech.connected());
}

}  // namespace
}  // namespace tavelo::platform
