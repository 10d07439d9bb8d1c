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
// Points what the system and the C runtime take for the temporary folder at `folder`; false
// when it cannot.
bool temporaryFilesInto(const std::string& folder);
// The variables that name it: "TMPDIR", or "TMP and TEMP".
extern const char* const kTemporaryFolderVariables;

}  // namespace rawout
