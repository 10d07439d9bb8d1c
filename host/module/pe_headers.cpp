// A PE file's headers, PE32 or PE32+: its kind and machine, the DLLs it imports (delay-loaded
// ones too), the names it exports and the security flags a loader heeds.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "module/header_fields.h"
#include "module/module_file.h"

namespace rawout {

namespace {

constexpr std::uint64_t kMostEntries = 1U << 16;
constexpr std::size_t kMostName = 4096;
constexpr std::uint64_t kDll = 0x2000;          // IMAGE_FILE_DLL
constexpr std::uint64_t kDynamicBase = 0x0040;  // IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE
constexpr std::uint64_t kNxCompatible = 0x0100;
constexpr unsigned kExportDirectory = 0;
constexpr unsigned kImportDirectory = 1;
constexpr unsigned kDelayImportDirectory = 13;

struct Section {
  std::uint64_t address, size, offset;
};

class PeReader {
 public:
  explicit PeReader(const HeaderFields& fields) : fields_(fields) {}

  bool read(ModuleFile& module, std::string& why) {
    const auto header = fields_.number(0x3C, 4);
    const auto signature = header ? fields_.number(*header, 4) : std::nullopt;
    if (!signature || *signature != 0x00004550) {  // "PE\0\0"
      why = "it starts as a Windows file (MZ) but has no PE header";
      return false;
    }
    const std::uint64_t coff = *header + 4;
    const auto machine = fields_.number(coff, 2);
    const auto sections = fields_.number(coff + 2, 2);
    const auto optionalSize = fields_.number(coff + 16, 2);
    const auto characteristics = fields_.number(coff + 18, 2);
    const std::uint64_t optional = coff + 20;
    const auto magic = fields_.number(optional, 2);
    if (!machine || !sections || !optionalSize || !characteristics || !magic ||
        (*magic != 0x10B && *magic != 0x20B)) {
      why = "its PE header is cut short or of no kind a loader knows";
      return false;
    }
    module.format = ModuleFile::Format::Pe;
    module.machine = peMachine(static_cast<unsigned>(*machine));
    module.bits = *magic == 0x20B ? 64 : 32;
    module.loadable = (*characteristics & kDll) != 0;
    const auto flags = fields_.number(optional + 70, 2);
    module.dynamicBase = flags && (*flags & kDynamicBase) != 0;
    module.nxCompatible = flags && (*flags & kNxCompatible) != 0;
    directories_ = optional + (module.bits == 64 ? 112 : 96);
    const auto directoryCount = fields_.number(directories_ - 4, 4);
    directoryCount_ = directoryCount ? *directoryCount : 0;
    const std::uint64_t table = optional + *optionalSize;
    for (std::uint64_t index = 0; index < *sections; ++index) {
      const auto size = fields_.number(table + index * 40 + 8, 4);
      const auto address = fields_.number(table + index * 40 + 12, 4);
      const auto rawSize = fields_.number(table + index * 40 + 16, 4);
      const auto offset = fields_.number(table + index * 40 + 20, 4);
      if (!size || !address || !rawSize || !offset) {
        why = "its section table runs past the file";
        return false;
      }
      sections_.push_back({*address, std::max(*size, *rawSize), *offset});
    }
    readImports(kImportDirectory, 20, 12, module);
    readImports(kDelayImportDirectory, 32, 4, module);
    readExports(module);
    return true;
  }

 private:
  [[nodiscard]] std::optional<std::uint64_t> offsetOf(std::uint64_t address) const {
    for (const Section& section : sections_) {
      if (address >= section.address && address - section.address < section.size) {
        return section.offset + (address - section.address);
      }
    }
    return std::nullopt;
  }

  // The file offset of data directory `index`, or none when the DLL has none there.
  [[nodiscard]] std::optional<std::uint64_t> directory(unsigned index) const {
    if (index >= directoryCount_) {
      return std::nullopt;
    }
    const auto address = fields_.number(directories_ + 8 * std::uint64_t{index}, 4);
    return address && *address != 0 ? offsetOf(*address) : std::nullopt;
  }

  [[nodiscard]] std::optional<std::string> nameAt(std::uint64_t address) const {
    const auto offset = offsetOf(address);
    return offset ? fields_.text(*offset, kMostName) : std::nullopt;
  }

  // Each descriptor is `size` bytes, with the RVA of the DLL's name at `nameField`; the table
  // ends with an empty one.
  void readImports(unsigned index, std::uint64_t size, std::uint64_t nameField,
                   ModuleFile& module) const {
    const auto table = directory(index);
    for (std::uint64_t entry = 0; table && entry < kMostEntries; ++entry) {
      const auto name = fields_.number(*table + entry * size + nameField, 4);
      if (!name || *name == 0) {
        return;
      }
      if (const auto text = nameAt(*name)) {
        module.needed.push_back(*text);
      }
    }
  }

  void readExports(ModuleFile& module) const {
    const auto table = directory(kExportDirectory);
    if (!table) {
      module.exportsKnown = true;  // it exports nothing
      return;
    }
    const auto count = fields_.number(*table + 24, 4);
    const auto names = fields_.number(*table + 32, 4);
    const auto namesAt = names ? offsetOf(*names) : std::nullopt;
    if (!count || !namesAt) {
      return;
    }
    module.exportsKnown = true;
    for (std::uint64_t entry = 0; entry < std::min(*count, kMostEntries); ++entry) {
      const auto address = fields_.number(*namesAt + 4 * entry, 4);
      if (!address) {
        return;
      }
      if (const auto text = nameAt(*address)) {
        module.exports.push_back(*text);
      }
    }
  }

  const HeaderFields& fields_;
  std::vector<Section> sections_;
  std::uint64_t directories_ = 0;
  std::uint64_t directoryCount_ = 0;
};

}  // namespace

std::optional<ModuleFile> detail::parsePe(const ByteSource& source, std::string& why) {
  const HeaderFields fields(source, false);
  ModuleFile module;
  PeReader reader(fields);
  if (!reader.read(module, why)) {
    return std::nullopt;
  }
  return module;
}

}  // namespace rawout
