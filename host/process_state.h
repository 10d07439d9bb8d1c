// What a plug-in call must leave as it found it in the host's process, and a way to see what it
// writes to the host's standard output and error.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

namespace rawout {

struct ProcessState {
  std::size_t openDescriptors = 0;  // the C library's
  std::size_t openHandles = 0;      // the system's count, on Windows (wine counts none)
  std::string workingFolder;
  std::string umask;       // empty where the platform has none
  std::string signalMask;  // of the calling thread; empty where the platform has none
  std::vector<std::string> environment;
};

ProcessState currentProcessState();

// What differs, one "what: seen, expected" phrase each; empty when nothing does.
std::vector<std::string> differences(const ProcessState& after, const ProcessState& before);

// The names in `folder`, without "." and "..".
std::set<std::string> folderEntries(const std::string& folder);

// Sends the process's standard output and error into `file` until stop().
class OutputCapture {
 public:
  explicit OutputCapture(const std::string& file);
  ~OutputCapture();
  OutputCapture(const OutputCapture&) = delete;
  OutputCapture& operator=(const OutputCapture&) = delete;
  // Puts both streams back and returns what was written to them meanwhile.
  std::string stop();

 private:
  std::string file_;
  int savedOutput_ = -1;
  int savedError_ = -1;
};

}  // namespace rawout
