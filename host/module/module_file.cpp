#include "module/module_file.h"

#include <array>
#include <fstream>

namespace rawout {

std::string ModuleFile::described() const {
  const std::string width = std::to_string(bits) + "-bit ";
  const std::string kind = format == Format::Pe ? (loadable ? "DLL" : "Windows program")
                                                : (loadable ? "ELF module" : "ELF program");
  const std::string order = bigEndian ? ", big-endian" : "";
  return "a " + width + kind + " (" + machine + order + ")";
}

std::optional<ModuleFile> parseModuleFile(const ByteSource& source, std::string& why) {
  std::array<unsigned char, 4> magic{};
  if (source(0, magic.data(), magic.size()) < 2) {
    why = "it is too short to be a module";
    return std::nullopt;
  }
  if (magic == std::array<unsigned char, 4>{0x7F, 'E', 'L', 'F'}) {
    return detail::parseElf(source, why);
  }
  if (magic[0] == 'M' && magic[1] == 'Z') {
    return detail::parsePe(source, why);
  }
  why = "it is neither an ELF module nor a Windows DLL";
  return std::nullopt;
}

std::optional<ModuleFile> readModuleFile(const std::string& path, std::string& why) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    why = "it cannot be read";
    return std::nullopt;
  }
  const ByteSource source = [&file](std::uint64_t offset, void* into, std::size_t bytes) {
    file.clear();
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(static_cast<char*>(into), static_cast<std::streamsize>(bytes));
    return file.gcount() > 0 ? static_cast<std::size_t>(file.gcount()) : std::size_t{0};
  };
  return parseModuleFile(source, why);
}

}  // namespace rawout
