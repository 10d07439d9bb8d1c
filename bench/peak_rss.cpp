// Runs a command and prints its peak resident memory in KiB on stderr: peak_rss CMD [ARG]...
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>

extern char** environ;

int main(int argc, char** argv) {
  if (argc < 2) {
    (void)std::fputs("usage: peak_rss COMMAND [ARG]...\n", stderr);
    return 2;
  }
  pid_t pid = -1;
  if (::posix_spawnp(&pid, argv[1], nullptr, nullptr, argv + 1, environ) != 0) {
    (void)std::fprintf(stderr, "peak_rss: cannot run %s\n", argv[1]);
    return 127;
  }
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid) {
    return 127;
  }
  (void)std::fprintf(stderr, "peak_rss_kib %ld\n", usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
