// Shared by the tests: the loaded module, scratch folders, files and child processes.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "checks/blocks.h"
#include "files/scratch_folder.h"
#include "loader/plugin_loader.h"

namespace rawout::test {

using Bytes = std::vector<std::uint8_t>;

// The module under test, loaded once through the host's loader.
const ExportPlugin& plugin();

// What a save gave, as a test compares it: equal to the result it should be when nothing around
// the result went wrong, and printed with what did.
struct SaveSeen {
  enum class Problem {
    None,
    ExtensionBuffer,   // not as the result requires
    SignalState,       // the thread's mask changed, or a signal was left pending
    OtherCause,        // errno is not the one expected
    ChildSetupFailed,  // the test's own preparation in the child failed
    EndedBySignal,     // the process that saved was ended by `signal`
  };
  int result = -1;
  Problem problem = Problem::None;
  int signal = 0;

  friend bool operator==(int expected, const SaveSeen& seen) {
    return seen.problem == Problem::None && seen.result == expected;
  }
  // For a child process, which can pass on no more than its exit status.
  [[nodiscard]] int exitCode() const;
  static SaveSeen fromExitCode(int code);
  static SaveSeen setupFailed() { return {-1, Problem::ChildSetupFailed, 0}; }
};
void PrintTo(const SaveSeen& seen, std::ostream* out);

// Saves through the module with a marked extension buffer: the buffer must be untouched after a
// failure, and hold ".bin" and a zero byte (and nothing more) after a success. errno is as the
// module left it.
SaveSeen saveChecked(const Bytes& bytes, const char* baseName);
inline SaveSeen saveChecked(const Bytes& bytes, const std::string& baseName) {
  return saveChecked(bytes, baseName.c_str());
}

// A fresh folder, removed with everything in it at the end of the test.
using TempDir = ScratchFolder;

Bytes readFile(const std::string& path);
void writeFile(const std::string& path, const Bytes& bytes);
// True when anything, a dangling link included, has that name.
bool exists(const std::string& path);

#ifndef _WIN32
// Runs `body` in a forked child and returns its exit code, or 128 + the signal that ended it.
int runInChild(const std::function<int()>& body);
#endif

struct ProcessResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};
// What a process gets on its standard input: `bytes` through a file or a pipe, or the file at
// `path` when that is given.
struct Stdin {
  static Stdin piped(std::string bytes) { return {std::move(bytes), true, {}}; }
  static Stdin redirected(std::string bytes) { return {std::move(bytes), false, {}}; }
  static Stdin fromFile(std::string path) { return {{}, false, std::move(path)}; }

  std::string bytes;
  bool pipe = false;
  std::string path;
};
// Runs a program in the current folder and environment.
ProcessResult runProcess(const std::vector<std::string>& argv, const Stdin& input = {});

// The files around one run of runProcess: what it reads when its input is not a pipe, and what
// it writes.
class ProcessFiles {
 public:
  explicit ProcessFiles(const Stdin& input);
  [[nodiscard]] const std::string& in() const { return in_; }
  [[nodiscard]] const std::string& out() const { return out_; }
  [[nodiscard]] const std::string& err() const { return err_; }
  // Fills in the output; Windows line ends read as POSIX ones.
  void collect(ProcessResult& result) const;

 private:
  TempDir scratch_;
  std::string in_;
  std::string out_ = scratch_ / "out";
  std::string err_ = scratch_ / "err";
};

// The full path of a program found on PATH, or an empty string.
std::string toolPath(const std::string& name);
inline bool hasTool(const std::string& name) { return !toolPath(name).empty(); }
bool inCi();

void setEnvironment(const std::string& name, const std::string& value);
void unsetEnvironment(const std::string& name);

// Sets environment variables for one test and puts the old values back afterwards.
class ScopedEnvironment {
 public:
  ScopedEnvironment() = default;
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setEnvironment(name, *value);
      } else {
        unsetEnvironment(name);
      }
    }
  }
  void set(const std::string& name, const std::string& value) {
    remember(name);
    setEnvironment(name, value);
  }
  void unset(const std::string& name) {
    remember(name);
    unsetEnvironment(name);
  }

 private:
  void remember(const std::string& name) {
    if (saved_.count(name) == 0) {
      const char* value = std::getenv(name.c_str());
      saved_[name] = value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    }
  }
  std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace rawout::test

// On a developer's machine a missing optional tool skips the test; in CI it fails it.
#define REQUIRE_TOOL(name)                                                 \
  do {                                                                     \
    if (!::rawout::test::hasTool(name)) {                                  \
      if (::rawout::test::inCi()) {                                        \
        FAIL() << (name) << " is needed for this test and is not on PATH"; \
      }                                                                    \
      GTEST_SKIP() << (name) << " is not on PATH";                         \
    }                                                                      \
  } while (false)
