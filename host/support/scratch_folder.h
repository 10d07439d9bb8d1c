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
  // not empty, else in /tmp (on Windows, the system's temporary folder). Its path is absolute,
  // whatever TMPDIR says, so that it holds in any working folder. Throws
  // ScratchFolderError naming the folder it was to go in and why it could not.
  ScratchFolder();
  // Removes what it can; remove() first to learn of anything that stays.
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  [[nodiscard]] const std::string& path() const { return path_; }
  // `name` inside the folder.
  [[nodiscard]] std::string operator/(const std::string& name) const;
  // Removes the folder with everything in it, now. Throws ScratchFolderError naming what stayed.
  void remove();

 private:
  std::string path_;
};

// Removes `path` with everything in it, making folders that a plug-in left unwritable (or
// unreadable) writable first. Returns the system's message for what could not be removed, or an
// empty string.
std::string removeTree(const std::string& path);

}  // namespace rawout
