// The process state as Windows shows it: the handle count, the environment block.
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "process_state.h"

namespace rawout {

std::set<std::string> folderEntries(const std::string& folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA entry{};
  HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) {
    return names;
  }
  do {
    const std::string name = entry.cFileName;
    if (name != "." && name != "..") {
      names.insert(name);
    }
  } while (::FindNextFileA(search, &entry));
  ::FindClose(search);
  return names;
}

ProcessState currentProcessState() {
  ProcessState state;
  // msvcrt.dll's descriptor table, which a plug-in built on it shares with the host.
  constexpr int kMostDescriptors = 2048;
  const int error = errno;
  for (int descriptor = 0; descriptor < kMostDescriptors; ++descriptor) {
    if (::_get_osfhandle(descriptor) != -1) {
      ++state.openDescriptors;
    }
  }
  errno = error;
  DWORD handles = 0;
  if (::GetProcessHandleCount(::GetCurrentProcess(), &handles)) {
    state.openHandles = handles;
  }
  char folder[MAX_PATH * 4] = {};
  if (::GetCurrentDirectoryA(sizeof folder, folder) < sizeof folder) {
    state.workingFolder = folder;
  }
  char* block = ::GetEnvironmentStringsA();
  for (const char* variable = block; variable != nullptr && *variable != '\0';
       variable += std::string(variable).size() + 1) {
    state.environment.emplace_back(variable);
  }
  ::FreeEnvironmentStringsA(block);
  return state;
}

}  // namespace rawout
