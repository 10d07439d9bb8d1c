// Without MessageBoxA, the box comes from a desktop dialog program run as a child process. No
// toolkit is linked into the module: it would clash with whatever toolkit the host uses. Linux
// only: memfd_create, the closefrom spawn action, strcasestr and strchrnul.
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <rawout/export_plugin.h>

#include "identity.h"

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX leaves it undeclared

namespace {

using rawout::kAboutCaption;
using rawout::kAboutText;

struct DialogHelper {
  const char* const* argv;
  // Exit codes that mean the box was shown and then closed, by whatever means.
  int dismissedExit;
  int closedExit;
};

// --no-markup: " <> " in the text would otherwise be read as markup and replaced.
constexpr const char* kZenityArgv[] = {"zenity",    "--info",   "--no-markup",
                                       "--no-wrap", "--title",  kAboutCaption,
                                       "--text",    kAboutText, nullptr};
constexpr const char* kXmessageArgv[] = {"xmessage", "-title", kAboutCaption, "-buttons", "OK",
                                         "-default", "OK",     "-center",     kAboutText, nullptr};

// zenity: 0 for OK, 1 for Escape or the close button. xmessage: 101 for its one button, 0 when
// the window manager closes it.
constexpr DialogHelper kZenity{kZenityArgv, 0, 1};
constexpr DialogHelper kXmessage{kXmessageArgv, 101, 0};

enum class Outcome { NotStarted, Shown, NotShown };

bool isSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// Both helpers exit 1 and say so on stderr when they cannot reach the display; that is the only
// way to tell it from a user closing the box.
bool reportsNoDisplay(int stderrFd) {
  char text[8192];
  const ssize_t length = ::pread(stderrFd, text, sizeof text - 1, 0);
  if (length <= 0) {
    return false;
  }
  text[length] = '\0';
  return ::strcasestr(text, "open display") != nullptr;
}

// The helper's file: the first absolute PATH entry that holds an executable of that name. An empty
// entry, "." or a relative one means the current folder or one below it, which for an IDE is often
// a project nobody vetted, so those are never searched. Without PATH, the system's default is.
bool findProgram(const char* name, char (&found)[PATH_MAX]) {
  char systemPath[512];
  const char* path = std::getenv("PATH");
  if (path == nullptr) {
    const std::size_t length = ::confstr(_CS_PATH, systemPath, sizeof systemPath);
    if (length == 0 || length > sizeof systemPath) {
      return false;
    }
    path = systemPath;
  }
  const std::size_t nameLength = std::strlen(name);
  for (const char* entry = path;;) {
    const char* end = ::strchrnul(entry, ':');
    const auto length = static_cast<std::size_t>(end - entry);
    if (length > 0 && entry[0] == '/' && length + 1 + nameLength < sizeof found) {
      std::memcpy(found, entry, length);
      found[length] = '/';
      std::memcpy(found + length + 1, name, nameLength + 1);
      struct stat status {};
      if (::stat(found, &status) == 0 && S_ISREG(status.st_mode) && ::access(found, X_OK) == 0) {
        return true;
      }
    }
    if (*end == '\0') {
      return false;
    }
    entry = end + 1;
  }
}

pid_t spawn(const DialogHelper& helper, int stderrFd) {
  char program[PATH_MAX];
  if (!findProgram(helper.argv[0], program)) {
    return -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (::posix_spawn_file_actions_init(&actions) != 0) {
    return -1;
  }
  if (::posix_spawnattr_init(&attributes) != 0) {
    ::posix_spawn_file_actions_destroy(&actions);
    return -1;
  }
  sigset_t allSignals;
  sigset_t noSignals;
  sigfillset(&allSignals);
  sigemptyset(&noSignals);
  pid_t pid = -1;
  const bool prepared =
      ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
      ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0) == 0 &&
      ::posix_spawn_file_actions_adddup2(&actions, stderrFd, 2) == 0 &&
      ::posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0 &&
      ::posix_spawnattr_setsigdefault(&attributes, &allSignals) == 0 &&
      ::posix_spawnattr_setsigmask(&attributes, &noSignals) == 0 &&
      ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK) == 0;
  if (prepared && ::posix_spawn(&pid, program, &actions, &attributes,
                                const_cast<char* const*>(helper.argv), environ) != 0) {
    pid = -1;
  }
  ::posix_spawnattr_destroy(&attributes);
  ::posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// A memory file, not a pipe: a chatty helper can never block on it. It lives at 3 or above, clear
// of the helper's standard descriptors, which would replace it if the host had closed one of its
// own and the file took that number.
int captureFile() {
  const int created = ::memfd_create("rawout-about-stderr", MFD_CLOEXEC);
  if (created < 0 || created > STDERR_FILENO) {
    return created;
  }
  const int moved = ::fcntl(created, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  ::close(created);
  return moved;
}

Outcome show(const DialogHelper& helper) {
  const int stderrFd = captureFile();
  if (stderrFd < 0) {
    return Outcome::NotStarted;
  }
  const pid_t pid = spawn(helper, stderrFd);
  if (pid < 0) {
    ::close(stderrFd);
    return Outcome::NotStarted;
  }
  int status = 0;
  pid_t waited = -1;
  do {
    waited = ::waitpid(pid, &status, 0);
  } while (waited < 0 && errno == EINTR);
  const bool noDisplay = reportsNoDisplay(stderrFd);
  ::close(stderrFd);
  if (noDisplay) {
    return Outcome::NotShown;
  }
  // ECHILD: the host ignores SIGCHLD or reaped the helper itself, which it can only do once the
  // box has run its course.
  if (waited < 0) {
    return errno == ECHILD ? Outcome::Shown : Outcome::NotShown;
  }
  if (WIFEXITED(status)) {
    const int code = WEXITSTATUS(status);
    if (code == helper.dismissedExit || code == helper.closedExit) {
      return Outcome::Shown;
    }
  }
  return Outcome::NotShown;
}

}  // namespace

extern "C" int RAWOUT_CALL About() noexcept {
  if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY")) {
    return 0;
  }
  Outcome outcome = show(kZenity);
  if (outcome == Outcome::NotStarted) {
    outcome = show(kXmessage);
  }
  constexpr int kIdOk = 1;
  return outcome == Outcome::Shown ? kIdOk : 0;
}
