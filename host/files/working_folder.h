// The working folder: what a relative path is taken from, and moving into another.
#pragma once

#include <string>

namespace rawout {

// `path` as the system resolves it from the working folder, absolute. Throws std::runtime_error
// when the system cannot name that folder (removed, or deeper than it can say): a relative path
// kept as it is would name another file once a process enters another folder.
std::string absolutePath(const std::string& path);
// Makes `folder` the working folder; false when it cannot.
bool enterFolder(const std::string& folder);

// The working folder as it is now, to go back to: held by a descriptor where the system has one,
// so that it is entered again even when this user may not search a folder above it.
class WorkingFolderMark {
 public:
  // Throws std::runtime_error with the system's words when the folder cannot be held.
  WorkingFolderMark();
  ~WorkingFolderMark();
  WorkingFolderMark(const WorkingFolderMark&) = delete;
  WorkingFolderMark& operator=(const WorkingFolderMark&) = delete;
  // Makes it the working folder again; false, with errno set, when it cannot.
  [[nodiscard]] bool enterAgain() const;

 private:
  int descriptor_ = -1;  // where the system holds folders by descriptor
  std::string path_;     // where it does not
};
// Points what the system and the C runtime take for the temporary folder at `folder`; false
// when it cannot.
bool temporaryFilesInto(const std::string& folder);
// The variables that name it: "TMPDIR", or "TMP and TEMP".
extern const char* const kTemporaryFolderVariables;

}  // namespace rawout
