// Names taken apart by bytes, the way the platform's file system reads them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rawout {

// The bytes that end a folder's name in a path: "/", and on Windows also "\\" and a drive's ":".
std::string_view folderSeparators();
bool isFolderSeparator(char character);

// Where the last component of `path` starts: after its last folder separator (on Windows also
// after a drive's colon).
std::size_t lastComponentStart(const std::string& path);
// The last component of `path`, what a file inside another folder would be called.
std::string lastComponent(const std::string& path);
// What comes before it, separator included: "dir/" for "dir/prog", "" for "prog".
std::string folderPart(const std::string& path);

}  // namespace rawout
