// Child processes and file checks, the POSIX way.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_support.h"

extern char** environ;

namespace rawout::test {

void setEnvironment(const std::string& name, const std::string& value) {
  ::setenv(name.c_str(), value.c_str(), 1);
}

void unsetEnvironment(const std::string& name) { ::unsetenv(name.c_str()); }

bool exists(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0;
}

int runInChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::_exit(body());
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) {
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

ProcessResult runProcess(const std::vector<std::string>& argv, const Stdin& input) {
  const ProcessFiles files(input);
  int pipeFds[2] = {-1, -1};
  if (input.pipe && ::pipe2(pipeFds, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe failed";
    return {};
  }

  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  if (input.pipe) {
    ::posix_spawn_file_actions_adddup2(&actions, pipeFds[0], 0);
  } else {
    ::posix_spawn_file_actions_addopen(&actions, 0, files.in().c_str(), O_RDONLY, 0);
  }
  ::posix_spawn_file_actions_addopen(&actions, 1, files.out().c_str(), O_WRONLY | O_CREAT, 0600);
  ::posix_spawn_file_actions_addopen(&actions, 2, files.err().c_str(), O_WRONLY | O_CREAT, 0600);
  std::vector<char*> args;
  for (const auto& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);
  ProcessResult result;
  pid_t pid = -1;
  const int spawned = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (input.pipe) {
    ::close(pipeFds[0]);
    // A reader that stops early must not kill the test with SIGPIPE.
    const auto previous = ::signal(SIGPIPE, SIG_IGN);
    for (std::size_t done = 0; spawned == 0 && done < input.bytes.size();) {
      const ssize_t count =
          ::write(pipeFds[1], input.bytes.data() + done, input.bytes.size() - done);
      if (count <= 0) {
        break;
      }
      done += static_cast<std::size_t>(count);
    }
    ::close(pipeFds[1]);
    ::signal(SIGPIPE, previous);
  }
  if (spawned != 0) {
    ADD_FAILURE() << "cannot run " << argv[0];
    return result;
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  files.collect(result);
  return result;
}

}  // namespace rawout::test
