// Starting external programs with posix_spawn.

#include "platform/process_launcher.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tavelo::platform {

std::vector<std::string> split_command_line(std::string_view command) {
  std::vector<std::string> arguments;
  std::string current;
  bool in_argument = false;
  bool quoted = false;
  for (size_t i = 0; i < command.size(); ++i) {
    char c = command[i];
    if (c == '\\' && i + 1 < command.size() && (command[i + 1] == '"' || command[i + 1] == '\\')) {
      current += command[++i];
      in_argument = true;
    } else if (c == '"') {
      quoted = !quoted;
      in_argument = true;  // "" is an empty argument
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (in_argument) arguments.push_back(std::move(current));
      current.clear();
      in_argument = false;
    } else {
      current += c;
      in_argument = true;
    }
  }
  if (in_argument) arguments.push_back(std::move(current));
  return arguments;
}

#if defined(__EMSCRIPTEN__)
// A page starts no programs.
std::optional<int32_t> spawn_process(const ProcessLaunch&) { return std::nullopt; }
#else
std::optional<int32_t> spawn_process(const ProcessLaunch& launch) {
  if (launch.arguments.empty() || launch.arguments.front().empty()) return std::nullopt;
  std::vector<char*> argv;
  argv.reserve(launch.arguments.size() + 1);
  for (const std::string& argument : launch.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return std::nullopt;
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  // The working directory is changed in the child only (glibc 2.29+), so the
  // engine's own never moves, not even for a moment.
  if (!launch.working_directory.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, launch.working_directory.c_str());
  }
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // The child starts a session of its own, so a terminal's Ctrl+C aimed at the
  // engine does not close the author's editor.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  pid_t child = 0;
  int error = posix_spawnp(&child, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return std::nullopt;
  return int32_t(child);
}

#endif

std::optional<int32_t> spawned_process_status(int32_t process) {
  int status = 0;
  pid_t done = 0;
  do {
    done = waitpid(pid_t(process), &status, WNOHANG);
  } while (done < 0 && errno == EINTR);
  if (done == 0) return std::nullopt;
  if (done < 0 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string describe_launch(const ProcessLaunch& launch) {
  std::string line;
  for (const std::string& argument : launch.arguments) {
    if (!line.empty()) line += ' ';
    bool quote = argument.empty() || argument.find_first_of(" \t\"") != std::string::npos;
    if (!quote) {
      line += argument;
      continue;
    }
    line += '"';
    for (char c : argument) {
      if (c == '"' || c == '\\') line += '\\';
      line += c;
    }
    line += '"';
  }
  if (!launch.working_directory.empty()) line += "  (in " + launch.working_directory + ")";
  return line;
}

}  // namespace tavelo::platform
