#include "loader/plugin_loader.h"

#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "loader/checked_call.h"
#include "loader/dynamic_library.h"
#include "loader/failure_cause.h"
#include "memory/read_only_copy.h"
#include "module/load_diagnosis.h"
#include "process/this_program.h"
#include "text/paths.h"
#include "text/quoted_name.h"

namespace rawout {

namespace {

template <typename Proc>
Proc resolve(void* library, const char* name, std::vector<std::string>& missing) {
  void* symbol = detail::findSymbol(library, name);
  if (symbol == nullptr) {
    missing.emplace_back(name);
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
  bool looked = false;
  library_ = detail::openLibrary(path_, error, looked);
  if (library_ == nullptr) {
    // What the module is, and what it needs, before the system's own words.
    const std::string why = looked ? whyNotLoadable(path_, error) : std::string();
    throw LoadError(quotedName(path_) + ": cannot load: " + (why.empty() ? "" : why + "; ") +
                    error);
  }
  std::vector<std::string> missing;
  save_ = resolve<SavePrgmFileProc>(library_, "SavePrgmFile", missing);
  describe_ = resolve<GetPluginDescriptionProc>(library_, "GetPluginDescription", missing);
  about_ = resolve<AboutProc>(library_, "About", missing);
  if (!missing.empty()) {
    detail::closeLibrary(library_);
    library_ = nullptr;
    std::string unread;
    const auto module = readModuleFile(path_, unread);
    throw LoadError(
        quotedName(path_) + ": not an export plug-in: " +
        missingEntryPoints(missing, module ? module->exports : std::vector<std::string>{}));
  }
}

namespace {

// A function the plug-in exports, as the thunk takes it.
template <typename Proc>
const void* address(Proc function) {
  return reinterpret_cast<const void*>(function);  // NOLINT: a function as an address
}

}  // namespace

int ExportPlugin::savePrgmFile(const void* data, std::uint32_t size, const char* baseName,
                               char* extOut) const noexcept {
  CallRecord record;
  const std::intptr_t result = checkedCall(address(save_), reinterpret_cast<std::uintptr_t>(data),
                                           size,  // NOLINT: an address
                                           reinterpret_cast<std::uintptr_t>(baseName),
                                           reinterpret_cast<std::uintptr_t>(extOut),  // NOLINT
                                           record);
  const FailureCauseKept kept;
  note(record, 4 * sizeof(void*), "SavePrgmFile");
  return static_cast<int>(result);
}

const char* ExportPlugin::description() const noexcept {
  CallRecord record;
  const std::intptr_t result = checkedCall(address(describe_), 0, 0, 0, 0, record);
  const FailureCauseKept kept;
  note(record, 0, "GetPluginDescription");
  return reinterpret_cast<const char*>(result);  // NOLINT(performance-no-int-to-ptr)
}

int ExportPlugin::about() const noexcept {
  CallRecord record;
  const std::intptr_t result = checkedCall(address(about_), 0, 0, 0, 0, record);
  const FailureCauseKept kept;
  note(record, 0, "About");
  return static_cast<int>(result);
}

void ExportPlugin::note(const CallRecord& record, std::size_t argumentBytes,
                        const char* entryPoint) const noexcept {
  try {
    std::string broken = rawout::brokenConvention(record, argumentBytes, entryPoint);
    const std::lock_guard<std::mutex> held(brokenLock_);
    if (broken_.empty()) {
      broken_ = std::move(broken);
    }
  } catch (const std::exception&) {
    // No memory to say it in: the next call that breaks it says it.
  }
}

std::string ExportPlugin::brokenConvention() const {
  const std::lock_guard<std::mutex> held(brokenLock_);
  return broken_;
}

ExportPlugin::~ExportPlugin() { unload(); }

void ExportPlugin::unload() noexcept {
  if (library_ != nullptr) {
    detail::closeLibrary(std::exchange(library_, nullptr));
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
