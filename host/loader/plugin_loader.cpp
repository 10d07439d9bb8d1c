#include "loader/plugin_loader.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "loader/dynamic_library.h"
#include "loader/failure_cause.h"
#include "memory/read_only_copy.h"
#include "process/this_program.h"
#include "text/paths.h"
#include "text/quoted_name.h"

namespace rawout {

namespace {

template <typename Proc>
Proc resolve(void* library, const char* name, const std::string& path) {
  void* symbol = detail::findSymbol(library, name);
  if (symbol == nullptr) {
    detail::closeLibrary(library);
    throw LoadError(quotedName(path) + ": not an export plug-in: it has no '" + name + "'");
  }
  return reinterpret_cast<Proc>(symbol);  // NOLINT: how run-time loading hands out functions
}

}  // namespace

bool namesNoFile(const std::string& path) {
  std::error_code unknown;
  return !std::filesystem::exists(path, unknown) && !unknown;
}

std::string noSuchPlugin(const std::string& path) { return quotedName(path) + ": no such file"; }

ExportPlugin::ExportPlugin(std::string path) : path_(std::move(path)) {
  if (namesNoFile(path_)) {
    throw LoadError(noSuchPlugin(path_));
  }
  std::string error;
  library_ = detail::openLibrary(path_, error);
  if (library_ == nullptr) {
    throw LoadError(quotedName(path_) + ": cannot load: " + error);
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

ExportPlugin::SaveOutcome ExportPlugin::saveAsAHost(const void* data, std::uint32_t size,
                                                    const std::string& baseName, char* extOut,
                                                    Block block) const {
  // A block lent read-only already (the large one the checks share) is handed over as it is.
  const bool copy = block == Block::Copied && !ReadOnlyCopy::covers(data, size);
  const ReadOnlyCopy copied(copy ? data : nullptr, size, "the block");
  const ReadOnlyCopy name(baseName.c_str(), baseName.size() + 1, "the base name");
  const void* handed = copy ? copied.data() : data;
  clearFailureCause();
  const int result = savePrgmFile(handed, size, name.text(), extOut);
  return {result, result == 1 ? std::string() : failureCause()};
}

std::string displayNameOf(const ExportPlugin& plugin) {
  const char* name = plugin.description();
  return name != nullptr ? name : "(unnamed format)";
}

std::string defaultPluginPath() {
  const std::string program = thisProgram();
  const std::size_t separator = program.find_last_of(folderSeparators());
  const std::string programs =
      separator == std::string::npos ? std::string(".") : program.substr(0, separator);
  std::string beside = programs + detail::folderSeparator() + RAWOUT_MODULE_FILE_NAME;
  // Beside the program in the build tree and on Windows; in an install on Linux, in the module
  // folder found from the program's own.
  constexpr char kFromPrograms[] = RAWOUT_PLUGINDIR_FROM_BINDIR;
  std::error_code ignored;
  if (kFromPrograms[0] == '\0' || std::filesystem::exists(beside, ignored)) {
    return beside;
  }
  return programs + detail::folderSeparator() + kFromPrograms + detail::folderSeparator() +
         RAWOUT_MODULE_FILE_NAME;
}

}  // namespace rawout
