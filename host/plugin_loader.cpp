#include "plugin_loader.h"

#include <utility>

#include "dynamic_library.h"

namespace rawout {

namespace {

template <typename Proc>
Proc resolve(void* library, const char* name, const std::string& path) {
  void* symbol = detail::findSymbol(library, name);
  if (symbol == nullptr) {
    detail::closeLibrary(library);
    throw LoadError(path + ": not an export plug-in: it has no '" + name + "'");
  }
  return reinterpret_cast<Proc>(symbol);  // NOLINT: how run-time loading hands out functions
}

}  // namespace

ExportPlugin::ExportPlugin(std::string path) : path_(std::move(path)) {
  std::string error;
  library_ = detail::openLibrary(path_, error);
  if (library_ == nullptr) {
    throw LoadError("cannot load " + path_ + ": " + error);
  }
  save_ = resolve<SavePrgmFileProc>(library_, "SavePrgmFile", path_);
  describe_ = resolve<GetPluginDescriptionProc>(library_, "GetPluginDescription", path_);
  about_ = resolve<AboutProc>(library_, "About", path_);
}

ExportPlugin::~ExportPlugin() {
  if (library_ != nullptr) {
    detail::closeLibrary(library_);
  }
}

std::string defaultPluginPath() {
  const std::string folder = detail::executableDirectory();
  return (folder.empty() ? std::string(".") : folder) + detail::kFolderSeparator +
         RAWOUT_MODULE_FILE_NAME;
}

}  // namespace rawout
