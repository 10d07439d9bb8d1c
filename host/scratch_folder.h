// A private temporary folder, removed with everything in it when it goes out of scope.
#pragma once

#include <string>

namespace rawout {

class ScratchFolder {
 public:
  // Throws std::runtime_error when no folder can be made.
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
