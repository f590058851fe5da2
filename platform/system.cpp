// Environment variables and available memory.

#include "platform/system.h"

#include <csignal>
#include <cstdlib>
#include <vector>

#include "platform/file_system.h"

namespace tavelo::platform {
namespace {

volatile std::sig_atomic_t g_stop_signal = 0;

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The first of the signals raises the flag and hands all three back to
// their default action (sigaction is safe in a handler).
extern "C" void note_stop_signal(int) {
  g_stop_signal = 1;
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  for (int signal_number : kStopSignals) sigaction(signal_number, &fallback, nullptr);
}

}  // namespace

std::optional<std::string> environment_variable(std::string_view name) {
  const char* value = std::getenv(std::string(name).c_str());
  if (!value || !*value) return std::nullopt;
  return std::string(value);
}

std::optional<uint64_t> available_memory_bytes() {
  std::optional<std::vector<uint8_t>> text = read_file("/proc/meminfo");
  if (!text) return std::nullopt;
  return free_memory_from_meminfo(std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));
}

std::optional<uint64_t> free_memory_from_meminfo(std::string_view meminfo) {
  auto field = [&](std::string_view name) -> std::optional<uint64_t> {
    size_t at = 0;
    while (at < meminfo.size()) {
      size_t end = meminfo.find('\n', at);
      if (end == std::string_view::npos) end = meminfo.size();
      std::string_view line = meminfo.substr(at, end - at);
      at = end + 1;
      if (line.substr(0, name.size()) != name || line.size() <= name.size() || line[name.size()] != ':') continue;
      uint64_t value = 0;
      bool digits = false;
      for (char c : line.substr(name.size() + 1)) {
        if (c >= '0' && c <= '9') {
          if (value > (UINT64_MAX - 9) / 10) return std::nullopt;
          value = value * 10 + uint64_t(c - '0');
          digits = true;
        } else if (digits) {
          break;
        }
      }
      if (!digits) return std::nullopt;
      // The kernel writes "kB" and means KiB.
      if (line.find("kB") == std::string_view::npos) return value;
      return value > UINT64_MAX / 1024 ? UINT64_MAX : value * 1024;
    }
    return std::nullopt;
  };
  if (std::optional<uint64_t> available = field("MemAvailable")) return available;
  return field("MemFree");
}

void install_stop_signals() {
  struct sigaction action {};
  action.sa_handler = note_stop_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal_number : kStopSignals) sigaction(signal_number, &action, nullptr);
}

bool stop_signal_received() { return g_stop_signal != 0; }

}  // namespace tavelo::platform
