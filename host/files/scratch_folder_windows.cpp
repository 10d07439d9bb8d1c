// Private folders on Windows: CreateDirectory fails on a name that exists, so a folder made with
// a random name inside the user's own temporary folder is ours alone.
#include <windows.h>

#include <algorithm>
#include <random>

#include "files/scratch_folder.h"
#include "files/working_folder.h"
#include "text/quoted_name.h"
#include "text/system_error_text.h"

namespace rawout::detail {

namespace {

ScratchFolderError cannotMake(const std::string& parent, DWORD cause) {
  return {
      "cannot make a scratch folder in " + quotedName(parent) + ": " + describeSystemError(cause),
      describeSystemError(cause), cause == ERROR_PATH_NOT_FOUND || cause == ERROR_FILE_NOT_FOUND};
}

}  // namespace

std::string temporaryFolder() {
  char parent[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathA(sizeof parent, parent);
  if (length == 0 || length > MAX_PATH) {
    throw cannotMake("the temporary folder", ::GetLastError());
  }
  return parent;
}

std::string makePrivateFolder(const std::string& parent, const std::string& prefix) {
  const bool separated = parent.empty() || parent.back() == '/' || parent.back() == '\\';
  const std::string stem = parent + (separated ? "" : "\\") + prefix;
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = stem + std::to_string(random());
    if (::CreateDirectoryA(candidate.c_str(), nullptr) != 0) {
      return candidate;
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) {
      throw cannotMake(parent, ::GetLastError());
    }
  }
  throw cannotMake(parent, ERROR_ALREADY_EXISTS);
}

// TMP may name a folder relative to this one.
std::string absoluteScratchPath(const std::string& made, const std::string& /*parent*/) {
  std::string absolute;
  try {
    absolute = absolutePath(made);
  } catch (const std::runtime_error& cannot) {
    ::RemoveDirectoryA(made.c_str());
    throw ScratchFolderError(cannot.what(), cannot.what(), false);
  }
  std::replace(absolute.begin(), absolute.end(), '\\', '/');  // as on every platform
  return absolute;
}

}  // namespace rawout::detail
