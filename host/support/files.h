// Whole files and folders, as exporthost's own code reads them.
#pragma once

#include <optional>
#include <set>
#include <string>

namespace rawout {

// Every byte of the file at `path`, or none when it cannot be opened or read.
std::optional<std::string> fileContent(const std::string& path);

// The names in `folder`, without "." and ".."; none when it cannot be listed.
std::set<std::string> folderEntries(const std::string& folder);

// Removes the file at `path` if there is one.
void removeFile(const std::string& path);

}  // namespace rawout
