#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "process/linux_process.h"
#include "runner/reference_command.h"
#include "text/quoted_name.h"

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX leaves it undeclared

namespace rawout {

void runReference(const std::string& command, const std::string& input, const std::string& output,
                  const std::string& baseName) {
  const std::string failed = "the reference command " + quotedName(command);
  std::string shell = "sh";
  std::string flag = "-c";
  std::string text = command;
  std::vector<char*> argv = {shell.data(), flag.data(), text.data(), nullptr};
  const std::string named = kBaseNameVariable;
  std::string variable = named + "=" + baseName;
  std::vector<char*> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!std::string_view(*entry).starts_with(named + "=")) {
      environment.push_back(*entry);
    }
  }
  environment.push_back(variable.data());
  environment.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  const bool prepared =
      ::posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0) == 0 &&
      ::posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600) == 0;
  int spawned = prepared ? 0 : errno;
  const pid_t pid = startOwnChild([&] {
    pid_t started = -1;
    if (spawned == 0) {
      spawned =
          ::posix_spawn(&started, "/bin/sh", &actions, nullptr, argv.data(), environment.data());
    }
    return spawned == 0 ? started : -1;
  });
  ::posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    throw std::runtime_error(failed + " cannot be run: " + std::strerror(spawned));
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      const int cause = errno;
      ownChildEnded(pid);
      throw std::runtime_error(failed + ": " + std::strerror(cause));
    }
  }
  ownChildEnded(pid);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error(
        failed + " failed (" + processEnd(status) +
        "); it must write the expected file from the block on its standard input");
  }
}

}  // namespace rawout
