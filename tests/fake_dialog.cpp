// Stands in for a desktop dialog program: records how it was started, then behaves as told.
//   FAKE_DIALOG_LOG     file that receives the arguments, each followed by a zero byte
//   FAKE_DIALOG_FACTS   file that receives what the process inherited, a line each
//   FAKE_DIALOG_STDERR  text to print on stderr, FAKE_DIALOG_STDERR_BYTES filler bytes to add
//   FAKE_DIALOG_SLEEP_MS  how long to "show" the box;  FAKE_DIALOG_EXIT  the exit code
//   FAKE_DIALOG_DONE    file created just before exiting
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

namespace {

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string linkTarget(const std::string& path) {
  char target[4096] = {};
  return ::readlink(path.c_str(), target, sizeof target - 1) > 0 ? target : "";
}

void recordFacts(const std::string& path) {
  // Listed before the facts file itself is opened.
  std::string descriptors = "fds";
  DIR* folder = ::opendir("/proc/self/fd");
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (name != "." && name != ".." && std::stoi(name) != ::dirfd(folder)) {
      descriptors += ' ' + name;
    }
  }
  ::closedir(folder);
  std::ofstream facts(path);
  facts << descriptors << "\nstdin " << linkTarget("/proc/self/fd/0") << "\nstdout "
        << linkTarget("/proc/self/fd/1") << '\n';
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigIgn:", 0) == 0) {
      facts << line << '\n';
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (const std::string log = env("FAKE_DIALOG_LOG"); !log.empty()) {
    std::ofstream out(log, std::ios::binary);
    for (int index = 0; index < argc; ++index) {
      out << argv[index] << '\0';
    }
  }
  if (const std::string facts = env("FAKE_DIALOG_FACTS"); !facts.empty()) {
    recordFacts(facts);
  }
  std::cerr << env("FAKE_DIALOG_STDERR");
  if (const std::string filler = env("FAKE_DIALOG_STDERR_BYTES"); !filler.empty()) {
    std::cerr << std::string(std::stoul(filler), 'x');
  }
  std::cerr.flush();
  if (const std::string sleep = env("FAKE_DIALOG_SLEEP_MS"); !sleep.empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(sleep)));
  }
  if (const std::string done = env("FAKE_DIALOG_DONE"); !done.empty()) {
    std::ofstream{done};
  }
  const std::string code = env("FAKE_DIALOG_EXIT");
  return code.empty() ? 0 : std::stoi(code);
}
