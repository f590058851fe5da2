// A browser page has neither a speech-dispatcher daemon nor a way to listen
// on a socket: reading aloud through the daemon is silent here, and the page
// text server never starts (its settings report why). The page's own speech
// synthesis is the place for reading aloud in a browser.

#include "platform/page_server.h"
#include "platform/speech_output.h"

namespace tavelo::platform {

struct SpeechOutput::Worker {};

SpeechOutput::SpeechOutput(std::string) {}
SpeechOutput::~SpeechOutput() = default;
void SpeechOutput::say(std::string_view, std::string_view, bool) {}
void SpeechOutput::stop() {}
bool SpeechOutput::flush(std::chrono::milliseconds) { return true; }
bool SpeechOutput::connected() const { return false; }

struct PageServer::Shared {};

bool is_loopback_address(std::string_view address) {
  return address == "::1" || (address.size() > 4 && address.substr(0, 4) == "127.");
}

PageServer::Start PageServer::start(std::string_view, uint16_t, PageServerLimits) {
  return {nullptr, "a browser page cannot serve page text"};
}

PageServer::PageServer(std::unique_ptr<Shared> shared) : m_shared(std::move(shared)) {}
PageServer::~PageServer() = default;
void PageServer::send(std::string_view) {}
uint16_t PageServer::port() const { return 0; }
size_t PageServer::client_count() const { return 0; }
uint64_t PageServer::dropped_clients() const { return 0; }

}  // namespace tavelo::platform
