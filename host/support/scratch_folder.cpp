#include "support/scratch_folder.h"

#include <filesystem>
#include <system_error>

#include "support/quoted_name.h"

#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#include <random>

#include "support/system_error_text.h"
#else
#include <cerrno>
#include <cstdlib>
#include <cstring>
#endif

namespace rawout {

namespace {

ScratchFolderError cannotMake(const std::string& parent, const std::string& cause) {
  // NOLINTNEXTLINE(modernize-return-braced-init-list): the constructor is explicit
  return ScratchFolderError("cannot make a scratch folder in " + quotedName(parent) + ": " + cause);
}

#ifdef _WIN32
std::string makePrivateFolder() {
  char parent[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathA(sizeof parent, parent);
  if (length == 0 || length > MAX_PATH) {
    throw cannotMake("the temporary folder", describeSystemError(::GetLastError()));
  }
  std::random_device random;
  // CreateDirectory fails on a name that exists: the folder is ours alone, inside the user's own
  // temporary folder.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = parent + ("exporthost-" + std::to_string(random()));
    if (::CreateDirectoryA(candidate.c_str(), nullptr) != 0) {
      std::replace(candidate.begin(), candidate.end(), '\\', '/');  // as on every platform
      return candidate;
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) {
      throw cannotMake(parent, describeSystemError(::GetLastError()));
    }
  }
  throw cannotMake(parent, describeSystemError(ERROR_ALREADY_EXISTS));
}
#else
std::string makePrivateFolder() {
  const char* set = std::getenv("TMPDIR");
  const std::string parent = set != nullptr && *set != '\0' ? set : "/tmp";
  std::string name = parent + (parent.back() == '/' ? "" : "/") + "exporthost-XXXXXX";
  // mkdtemp makes the folder with mode 0700 and fails rather than take one that exists.
  if (::mkdtemp(name.data()) == nullptr) {
    throw cannotMake(parent, std::strerror(errno));
  }
  return name;
}
#endif

}  // namespace

ScratchFolder::ScratchFolder() : path_(makePrivateFolder()) {}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchFolder::operator/(const std::string& name) const { return path_ + "/" + name; }

}  // namespace rawout
