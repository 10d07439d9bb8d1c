#include "support/files.h"

#include <cstdio>
#include <fstream>

namespace rawout {

std::optional<std::string> fileContent(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) {
    return std::nullopt;
  }
  std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return in ? std::optional(std::move(bytes)) : std::nullopt;
}

void removeFile(const std::string& path) { (void)std::remove(path.c_str()); }

}  // namespace rawout
