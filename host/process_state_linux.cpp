// The process state as Linux shows it: /proc/self/fd and /proc/self/status.
#include <dirent.h>
#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include "process_state.h"

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX leaves it undeclared

namespace rawout {

std::set<std::string> folderEntries(const std::string& folder) {
  std::set<std::string> names;
  DIR* listing = ::opendir(folder.c_str());
  while (listing != nullptr) {
    const dirent* entry = ::readdir(listing);
    if (entry == nullptr) {
      break;
    }
    const std::string name = entry->d_name;
    if (name != "." && name != "..") {
      names.insert(name);
    }
  }
  if (listing != nullptr) {
    ::closedir(listing);
  }
  return names;
}

ProcessState currentProcessState() {
  ProcessState state;
  // Less the one that lists them.
  state.openDescriptors = folderEntries("/proc/self/fd").size() - 1;
  char folder[4096];
  if (::getcwd(folder, sizeof folder) != nullptr) {
    state.workingFolder = folder;
  }
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Umask:", 0) == 0) {
      state.umask = line.substr(line.find_first_not_of(" \t", 6));
    }
  }
  sigset_t mask;
  if (::pthread_sigmask(SIG_BLOCK, nullptr, &mask) == 0) {
    for (int signal = 1; signal < NSIG; ++signal) {
      state.signalMask += sigismember(&mask, signal) == 1 ? '1' : '0';
    }
  }
  for (char** variable = environ; variable != nullptr && *variable != nullptr; ++variable) {
    state.environment.emplace_back(*variable);
  }
  return state;
}

}  // namespace rawout
