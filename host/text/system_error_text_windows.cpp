#include <windows.h>

#include "text/system_error_text.h"

namespace rawout {

std::string describeSystemError(unsigned long code, const std::string& insert) {
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
  for (std::size_t at = message.find("%1"); at != std::string::npos;
       at = message.find("%1", at + 1)) {
    message.replace(at, 2, insert.empty() ? "it" : insert);
  }
  return message;
}

}  // namespace rawout
