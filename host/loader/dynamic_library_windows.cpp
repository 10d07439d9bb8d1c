// Run-time loading with LoadLibrary; failures worded by the system.
#include <windows.h>

#include <stdexcept>
#include <string>

#include "files/working_folder.h"
#include "loader/dynamic_library.h"
#include "text/system_error_text.h"

namespace rawout::detail {

const char* folderSeparator() { return "\\"; }

void* openLibrary(const std::string& path, std::string& error, bool& looked) {
  // A full path keeps the system's DLL search out of it; a trailing dot keeps LoadLibrary from
  // adding ".dll" to a name without an extension.
  std::string file;
  looked = false;
  try {
    file = absolutePath(path);
  } catch (const std::runtime_error& cannot) {
    error = cannot.what();
    return nullptr;
  }
  if (file.find('.', file.find_last_of("\\/") + 1) == std::string::npos) {
    file += '.';
  }
  const DWORD attributes = ::GetFileAttributesA(file.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error = "it is a folder, not a module file";
    return nullptr;
  }
  // Altered search: the plug-in's own dependencies are looked for beside it first.
  looked = true;
  HMODULE library = ::LoadLibraryExA(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (library == nullptr) {
    error = describeSystemError(::GetLastError(), file);
  }
  return reinterpret_cast<void*>(library);
}

void* findSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeLibrary(void* library) { ::FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace rawout::detail
