// What a plug-in call must leave as it found it in the host's process, and a way to see what it
// writes to the host's standard output and error.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace rawout {

// What a host relies on in its own process, fact by fact: "SIGPIPE handling" -> "default",
// "RLIMIT_NOFILE" -> "1024 524288", "descriptor 2" -> "device 22 inode 5", ...
using ProcessState = std::map<std::string, std::string>;

ProcessState currentProcessState();

// What the calls between the snapshots changed, each as "what seen, expected what". Settings
// (signal handling, limits, folder, locale, ...) must be as `before` had them. Resources
// (descriptors, handles, threads, children) may be set up once, by the first round of calls, but
// must not change in the second round, nor lose anything the process held before.
std::vector<std::string> changesOverCalls(const ProcessState& before, const ProcessState& between,
                                          const ProcessState& after);

// The names in `folder`, without "." and "..".
std::set<std::string> folderEntries(const std::string& folder);

// Sends the process's standard output and error into two files of `folder` until stop(). Throws
// CheckTrouble when they cannot be made.
class OutputCapture {
 public:
  explicit OutputCapture(std::string folder);
  ~OutputCapture();
  OutputCapture(const OutputCapture&) = delete;
  OutputCapture& operator=(const OutputCapture&) = delete;

  struct Captured {
    std::string output;
    std::string errors;
  };
  // Puts both streams back and returns what was written to each meanwhile.
  Captured stop();

 private:
  std::string folder_;
  int savedOutput_ = -1;
  int savedError_ = -1;
};

}  // namespace rawout
