#pragma once
// Starting external programs (the author's editor, the script compiler) without
// a shell: a command line is split into arguments here, placeholders are
// substituted per argument by the caller, and posix_spawnp starts the program
// with the argument vector as is, so a file name with blanks or quotes never
// turns into extra arguments or shell syntax. Platform::launch_process goes
// through spawn_process in the SDL backend; the headless backend records the
// launch instead.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavelo::platform {

struct ProcessLaunch {
  std::vector<std::string> arguments;  // arguments[0] is the program (looked up in PATH)
  std::string working_directory;       // empty: the engine's own
};

// Splits a command line at blanks. Double quotes group blanks into one
// argument and are removed; a backslash before a double quote or another
// backslash keeps that character literally (other backslashes stay, as in
// Windows paths). An unclosed quote runs to the end.
std::vector<std::string> split_command_line(std::string_view command);

// Starts the program and does not wait for it; its process id, or nullopt
// when it could not be started. Its standard input is /dev/null.
std::optional<int32_t> spawn_process(const ProcessLaunch& launch);

// nullopt while the process runs; its exit status once it ended (-1 when a
// signal ended it or it is not our child). Reaps it, so ask until it ended.
std::optional<int32_t> spawned_process_status(int32_t process);

// One line for logs and headless records: the arguments joined by blanks,
// each quoted when it holds a blank.
std::string describe_launch(const ProcessLaunch& launch);

}  // namespace tavelo::platform
