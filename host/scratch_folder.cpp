#include "scratch_folder.h"

#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

namespace rawout {

ScratchFolder::ScratchFolder() {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  std::random_device random;
  // create_directory fails on a name that exists: the folder is ours alone.
  for (int attempt = 0; !error && path_.empty() && attempt < 100; ++attempt) {
    const std::filesystem::path candidate = base / ("exporthost-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate, error)) {
      std::filesystem::permissions(candidate, std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::replace, error);
      path_ = candidate.generic_string();  // "/" on every platform, which all of them take
    }
  }
  if (path_.empty()) {
    throw std::runtime_error("cannot make a temporary folder" +
                             (error ? ": " + error.message() : std::string()));
  }
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchFolder::operator/(const std::string& name) const { return path_ + "/" + name; }

}  // namespace rawout
