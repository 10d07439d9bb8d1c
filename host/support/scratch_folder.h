// A private temporary folder, removed with everything in it when it goes out of scope.
#pragma once

#include <stdexcept>
#include <string>

namespace rawout {

class ScratchFolderError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ScratchFolder {
 public:
  // Made at once with a name of its own, open to its owner alone: in TMPDIR when that is set and
  // not empty, else in /tmp (on Windows, the system's temporary folder). Throws
  // ScratchFolderError naming the folder it was to go in and why it could not.
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  [[nodiscard]] const std::string& path() const { return path_; }
  // `name` inside the folder.
  [[nodiscard]] std::string operator/(const std::string& name) const;

 private:
  std::string path_;
};

}  // namespace rawout
