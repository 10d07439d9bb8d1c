#include "export/plugin_aside.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "export/export_error.h"
#include "files/working_folder.h"
#include "text/quoted_name.h"

namespace rawout {

void loadAside(std::optional<ExportPlugin>& plugin, const std::string& path,
               const std::string& folder) {
  std::optional<WorkingFolderMark> here;
  std::string module;
  try {
    here.emplace();
    // Named from the folder the user gave it in, not from the one it loads in; one given whole
    // keeps the user's spelling in what exporthost says of it.
    module = namesNoFile(path) || std::filesystem::path(path).has_root_directory()
                 ? path
                 : absolutePath(path);
  } catch (const std::runtime_error& error) {
    throw ExportError(error.what());
  }
  if (!enterFolder(folder)) {
    throw ExportError("cannot enter " + quotedName(folder) +
                      " to load the plug-in: " + std::strerror(errno));
  }
  try {
    plugin.emplace(module);
  } catch (...) {
    (void)here->enterAgain();
    throw;
  }
  if (!here->enterAgain()) {
    const int cause = errno;
    plugin.reset();
    throw ExportError(std::string("cannot go back to the working folder: ") + std::strerror(cause));
  }
}

}  // namespace rawout
