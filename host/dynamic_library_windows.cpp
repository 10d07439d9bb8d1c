// Run-time loading with LoadLibrary; failures worded by the system.
#include <windows.h>

#include <string>

#include "dynamic_library.h"

namespace rawout::detail {

namespace {

std::string describeError(DWORD code) {
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 ? std::string(text, length) : "error " + std::to_string(code);
  ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message;
}

}  // namespace

void* openLibrary(const std::string& path, std::string& error) {
  // A full path keeps the system's DLL search out of it; a trailing dot keeps LoadLibrary from
  // adding ".dll" to a name without an extension.
  std::string file(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(file.size()), file.data(), nullptr);
    if (length == 0) {
      error = describeError(::GetLastError());
      return nullptr;
    }
    const bool fits = length < file.size();
    file.resize(length);
    if (fits) {
      break;
    }
  }
  if (file.find('.', file.find_last_of("\\/") + 1) == std::string::npos) {
    file += '.';
  }
  // Altered search: the plug-in's own dependencies are looked for beside it first.
  HMODULE library = ::LoadLibraryExA(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (library == nullptr) {
    error = describeError(::GetLastError());
  }
  return reinterpret_cast<void*>(library);
}

void* findSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeLibrary(void* library) { ::FreeLibrary(static_cast<HMODULE>(library)); }

std::string executableDirectory() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return {};
    }
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.find_last_of("\\/"));
}

}  // namespace rawout::detail

namespace rawout {

void clearFailureCause() noexcept { ::SetLastError(ERROR_SUCCESS); }

std::string failureCause() {
  const DWORD cause = ::GetLastError();
  return cause != ERROR_SUCCESS ? detail::describeError(cause) : std::string();
}

}  // namespace rawout
