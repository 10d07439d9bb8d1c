// What a plug-in call writes to the host's standard output and error.
#pragma once

#include <string>

namespace rawout {

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
