// What tells one file from another, whatever names lead to it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace rawout {

struct FileIdentity {
  std::uint64_t device;  // or volume
  std::uint64_t index;   // inode or file index
  bool operator==(const FileIdentity&) const = default;
};

// The file at `path`, followed through links as an open would; none when nothing is there.
std::optional<FileIdentity> identityOf(const std::string& path);
// The file a C stream has open; none when it cannot be told.
std::optional<FileIdentity> identityOf(std::FILE* stream);

}  // namespace rawout
