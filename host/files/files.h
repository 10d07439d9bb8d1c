// Whole files and folders, as exporthost's own code reads and writes them.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <set>
#include <string>

#include "memory/huge_pages.h"

namespace rawout {

// Every byte of the file at `path`, to its end whatever size it claims (files under /proc claim
// none), or none when it cannot be opened or read. Bytes of many megabytes come in huge pages.
std::optional<std::string> fileContent(const std::string& path);
std::optional<Bytes> fileBytes(const std::string& path);

// Writes the `size` bytes at `data` to `path`, created or emptied; false when any of it fails.
[[nodiscard]] bool writeFile(const std::string& path, const void* data, std::size_t size);

// The names in `folder`, without "." and ".."; none when it cannot be listed.
std::set<std::string> folderEntries(const std::string& folder);

// Makes `path` and the folders above it. Throws std::runtime_error with the system's words.
void makeFolders(const std::string& path);

// Removes the file at `path` if there is one.
void removeFile(const std::string& path);

namespace detail {
// A C stream for `path` whose descriptor no process started meanwhile inherits, "rb" or "wb".
std::FILE* openPrivately(const std::string& path, const char* mode);
// The size the open file says it has: 0 when it cannot say.
std::size_t claimedSize(std::FILE* file);
}  // namespace detail

}  // namespace rawout
