// Windows says only that a module was not found: each DLL the plug-in imports is looked for as
// the loader looks for it, beside the plug-in first, then where the system looks.
#include <windows.h>

#include <algorithm>
#include <cctype>

#include "module/load_diagnosis.h"
#include "text/paths.h"

namespace rawout {

namespace {

bool isApiSet(const std::string& name) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char byte) { return static_cast<char>(std::tolower(byte)); });
  return lower.starts_with("api-ms-") || lower.starts_with("ext-ms-");
}

bool fileThere(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool found(const std::string& name, const std::string& folder) {
  char full[MAX_PATH];
  return isApiSet(name) || ::GetModuleHandleA(name.c_str()) != nullptr ||
         fileThere(folder + name) ||
         ::SearchPathA(nullptr, name.c_str(), nullptr, MAX_PATH, full, nullptr) > 0;
}

std::string systemFolder() {
  char folder[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(folder, length) + "\\" : std::string();
}

}  // namespace

std::vector<std::string> missingLibraries(const ModuleFile& module, const std::string& path,
                                          const std::string& /*systemWords*/) {
  std::vector<std::string> missing;
  for (const std::string& name : module.needed) {
    if (!found(name, folderPart(path))) {
      missing.push_back(name);
    }
  }
  return missing;
}

std::vector<std::string> foreignLibraries(const ModuleFile& module) {
  const std::string system = systemFolder();
  std::vector<std::string> foreign;
  for (const std::string& name : module.needed) {
    if (!isApiSet(name) && (system.empty() || !fileThere(system + name))) {
      foreign.push_back(name);
    }
  }
  return foreign;
}

}  // namespace rawout
