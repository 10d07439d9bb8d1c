// A private temporary folder, removed with everything in it when it goes out of scope.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace rawout {

class ScratchFolderError : public std::runtime_error {
 public:
  ScratchFolderError(const std::string& message, std::string cause, bool parentMissing)
      : std::runtime_error(message), cause_(std::move(cause)), parentMissing_(parentMissing) {}
  // The system's words alone.
  [[nodiscard]] const std::string& cause() const { return cause_; }
  // The folder it was to go in does not exist (or is no folder).
  [[nodiscard]] bool parentMissing() const { return parentMissing_; }

 private:
  std::string cause_;
  bool parentMissing_;
};

class ScratchFolder {
 public:
  // Made at once with a name of its own, open to its owner alone: in TMPDIR when that is set and
  // not empty, else in /tmp (on Windows, the system's temporary folder). Its path is absolute,
  // whatever TMPDIR says, so that it holds in any working folder. Throws
  // ScratchFolderError naming the folder it was to go in and why it could not.
  ScratchFolder();
  // The same in `parent` (empty for the working folder, else ending in a folder separator),
  // named `prefix` and characters of its own.
  ScratchFolder(const std::string& parent, const std::string& prefix);
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

namespace detail {
// The platform's half: where scratch folders go by default, making one (named as asked), and
// the absolute path of one made in the temporary folder, which is removed when there is none.
std::string temporaryFolder();
std::string makePrivateFolder(const std::string& parent, const std::string& prefix);
std::string absoluteScratchPath(const std::string& made, const std::string& parent);
}  // namespace detail

// Removes `path` with everything in it, making folders that a plug-in left unwritable (or
// unreadable) writable first. Returns the system's message for what could not be removed, or an
// empty string.
std::string removeTree(const std::string& path);

}  // namespace rawout
