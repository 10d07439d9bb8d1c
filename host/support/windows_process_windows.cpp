#include <windows.h>

#include <cstdio>

#include "support/windows_process.h"

namespace rawout {

std::string quotedArgument(const std::string& argument) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char character : argument) {
    if (character == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(character == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += character;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

std::string thisProgram() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length > 0 && length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::string describeExitCode(unsigned long code) {
  char text[48];
  if (code >= 0xC0000000UL) {
    (void)std::snprintf(text, sizeof text, "exception 0x%08lX", code);
  } else {
    (void)std::snprintf(text, sizeof text, "exit status %lu", code);
  }
  return text;
}

}  // namespace rawout
