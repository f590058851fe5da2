#pragma once
// What the engine asks of the host system besides files: process environment
// variables and the memory available now. Both backends share these; nothing
// outside platform/ reads the environment or /proc itself.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavelo::platform {

// The value of an environment variable; nullopt when unset or empty.
std::optional<std::string> environment_variable(std::string_view name);

// Memory available to the process now, in bytes (MemAvailable, else MemFree
// of /proc/meminfo); nullopt when unknown.
std::optional<uint64_t> available_memory_bytes();

// The same from the text of /proc/meminfo; nullopt when neither line is there.
std::optional<uint64_t> free_memory_from_meminfo(std::string_view meminfo);

// SIGINT, SIGTERM and SIGHUP ask for the orderly end: the first one only
// raises a flag that the engine's loops watch (stop_signal_received); the
// handlers then go back to the default, so a second signal ends the process
// at once.
void install_stop_signals();
bool stop_signal_received();

}  // namespace tavelo::platform
