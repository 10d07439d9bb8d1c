// An ELF file's headers, 32- or 64-bit, either byte order: its kind and machine, its program
// headers (the stack it asks for, the dynamic section), the libraries and run paths it names, and
// the symbols it exports (from the section headers, when they are there).
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "module/header_fields.h"
#include "module/module_file.h"

namespace rawout {

namespace {

// Bounds that no module comes near: what a broken header claims past them is not read.
constexpr std::uint64_t kMostEntries = 1U << 20;
constexpr std::size_t kMostName = 4096;

constexpr std::uint32_t kLoad = 1;
constexpr std::uint32_t kDynamic = 2;
constexpr std::uint32_t kGnuStack = 0x6474E551;
constexpr std::uint32_t kExecutable = 1;  // PF_X
constexpr std::uint64_t kNeeded = 1;
constexpr std::uint64_t kStringTable = 5;
constexpr std::uint64_t kTextRelocations = 22;
constexpr std::uint64_t kRunPathOld = 15;  // DT_RPATH
constexpr std::uint64_t kRunPath = 29;     // DT_RUNPATH
constexpr std::uint64_t kFlags = 30;
constexpr std::uint64_t kFlagTextRelocations = 0x4;
constexpr std::uint32_t kDynamicSymbols = 11;  // SHT_DYNSYM

// Where each field lies, for the file's class.
struct Layout {
  unsigned word;  // 4 or 8
  std::uint64_t programOffset, sectionOffset, programEntrySize, programCount, sectionEntrySize,
      sectionCount;
  // Program header: type, flags, offset, address, size in the file.
  std::uint64_t pType, pFlags, pOffset, pAddress, pFileSize;
  // Section header: type, offset, size, link, entry size.
  std::uint64_t sType, sOffset, sSize, sLink, sEntrySize;
  // Symbol: name, info, other, section index.
  std::uint64_t symName, symInfo, symOther, symSection;
};

constexpr Layout kLayout64{8,  32, 40, 54, 56, 58, 60, 0, 4, 8, 16,
                           32, 4,  24, 32, 40, 56, 0,  4, 5, 6};
constexpr Layout kLayout32{4,  28, 32, 42, 44, 46, 48, 0,  24, 4, 8,
                           16, 4,  16, 20, 24, 36, 0,  12, 13, 14};

struct Segment {
  std::uint64_t offset, address, size;
};

class ElfReader {
 public:
  ElfReader(const HeaderFields& fields, const Layout& layout) : fields_(fields), at_(layout) {}

  // The whole file's facts into `module`; false, with why, when its headers run out.
  bool read(ModuleFile& module, std::string& why) {
    const auto programOffset = fields_.number(at_.programOffset, at_.word);
    const auto programSize = fields_.number(at_.programEntrySize, 2);
    const auto programCount = fields_.number(at_.programCount, 2);
    if (!programOffset || !programSize || !programCount) {
      why = "its ELF header is cut short";
      return false;
    }
    module.stack = ModuleFile::Stack::Unsaid;
    std::optional<Segment> dynamic;
    for (std::uint64_t index = 0; index < *programCount; ++index) {
      const std::uint64_t entry = *programOffset + index * *programSize;
      const auto type = fields_.number(entry + at_.pType, 4);
      const auto flags = fields_.number(entry + at_.pFlags, 4);
      const auto offset = fields_.number(entry + at_.pOffset, at_.word);
      const auto address = fields_.number(entry + at_.pAddress, at_.word);
      const auto size = fields_.number(entry + at_.pFileSize, at_.word);
      if (!type || !flags || !offset || !address || !size) {
        why = "its program headers run past the file";
        return false;
      }
      if (*type == kGnuStack) {
        module.stack = (*flags & kExecutable) != 0 ? ModuleFile::Stack::Executable
                                                   : ModuleFile::Stack::NotExecutable;
      } else if (*type == kLoad) {
        loads_.push_back({*offset, *address, *size});
      } else if (*type == kDynamic) {
        dynamic = Segment{*offset, *address, *size};
      }
    }
    if (dynamic) {
      readDynamic(*dynamic, module);
    }
    readExports(module);
    return true;
  }

 private:
  // The file offset of a loaded address, or none.
  [[nodiscard]] std::optional<std::uint64_t> offsetOf(std::uint64_t address) const {
    for (const Segment& load : loads_) {
      if (address >= load.address && address - load.address < load.size) {
        return load.offset + (address - load.address);
      }
    }
    return std::nullopt;
  }

  void readDynamic(const Segment& dynamic, ModuleFile& module) const {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> entries;
    std::optional<std::uint64_t> strings;
    const std::uint64_t count =
        std::min(dynamic.size / (std::uint64_t{2} * at_.word), kMostEntries);
    for (std::uint64_t index = 0; index < count; ++index) {
      const auto tag = fields_.number(dynamic.offset + index * 2 * at_.word, at_.word);
      const auto value = fields_.number(dynamic.offset + index * 2 * at_.word + at_.word, at_.word);
      if (!tag || !value || *tag == 0) {
        break;
      }
      entries.emplace_back(*tag, *value);
      if (*tag == kStringTable) {
        strings = offsetOf(*value);
      }
    }
    for (const auto& [tag, value] : entries) {
      if (tag == kTextRelocations || (tag == kFlags && (value & kFlagTextRelocations) != 0)) {
        module.textRelocations = true;
      }
      if ((tag != kNeeded && tag != kRunPath && tag != kRunPathOld) || !strings) {
        continue;
      }
      const auto name = fields_.text(*strings + value, kMostName);
      if (!name) {
        continue;
      }
      if (tag == kNeeded) {
        module.needed.push_back(*name);
        continue;
      }
      // Entries apart, as the loader takes them.
      for (std::size_t start = 0; start <= name->size();) {
        const std::size_t colon = std::min(name->find(':', start), name->size());
        if (colon > start) {
          module.runPaths.push_back(name->substr(start, colon - start));
        }
        start = colon + 1;
      }
    }
  }

  void readExports(ModuleFile& module) const {
    const auto sectionOffset = fields_.number(at_.sectionOffset, at_.word);
    const auto sectionSize = fields_.number(at_.sectionEntrySize, 2);
    const auto sectionCount = fields_.number(at_.sectionCount, 2);
    if (!sectionOffset || !sectionSize || !sectionCount || *sectionOffset == 0) {
      return;
    }
    for (std::uint64_t index = 0; index < *sectionCount; ++index) {
      const std::uint64_t entry = *sectionOffset + index * *sectionSize;
      const auto type = fields_.number(entry + at_.sType, 4);
      if (type && *type == kDynamicSymbols) {
        readSymbols(entry, *sectionOffset, *sectionSize, module);
        return;
      }
    }
  }

  void readSymbols(std::uint64_t entry, std::uint64_t sectionOffset, std::uint64_t sectionSize,
                   ModuleFile& module) const {
    const auto offset = fields_.number(entry + at_.sOffset, at_.word);
    const auto size = fields_.number(entry + at_.sSize, at_.word);
    const auto link = fields_.number(entry + at_.sLink, 4);
    const auto symbolSize = fields_.number(entry + at_.sEntrySize, at_.word);
    const auto strings =
        link ? fields_.number(sectionOffset + *link * sectionSize + at_.sOffset, at_.word)
             : std::nullopt;
    if (!offset || !size || !symbolSize || *symbolSize == 0 || !strings) {
      return;
    }
    module.exportsKnown = true;
    const std::uint64_t count = std::min(*size / *symbolSize, kMostEntries);
    for (std::uint64_t index = 1; index < count; ++index) {
      const std::uint64_t symbol = *offset + index * *symbolSize;
      const auto name = fields_.number(symbol + at_.symName, 4);
      const auto info = fields_.number(symbol + at_.symInfo, 1);
      const auto other = fields_.number(symbol + at_.symOther, 1);
      const auto section = fields_.number(symbol + at_.symSection, 2);
      if (!name || !info || !other || !section) {
        return;
      }
      // Defined, global, weak or unique, of default or protected visibility: what dlsym finds.
      const std::uint64_t binding = *info >> 4U;
      const std::uint64_t visibility = *other & 3U;
      const bool bound = binding == 1 || binding == 2 || binding == 10;
      if (*section != 0 && bound && (visibility == 0 || visibility == 3)) {
        if (const auto text = fields_.text(*strings + *name, kMostName); text && !text->empty()) {
          module.exports.push_back(*text);
        }
      }
    }
  }

  const HeaderFields& fields_;
  const Layout& at_;
  std::vector<Segment> loads_;
};

}  // namespace

std::optional<ModuleFile> detail::parseElf(const ByteSource& source, std::string& why) {
  const HeaderFields ident(source, false);
  const auto fileClass = ident.number(4, 1);
  const auto order = ident.number(5, 1);
  if (!fileClass || !order || (*fileClass != 1 && *fileClass != 2) ||
      (*order != 1 && *order != 2)) {
    why = "its ELF header says neither 32- nor 64-bit, or no byte order";
    return std::nullopt;
  }
  ModuleFile module;
  module.format = ModuleFile::Format::Elf;
  module.bits = *fileClass == 2 ? 64 : 32;
  module.bigEndian = *order == 2;
  const HeaderFields fields(source, module.bigEndian);
  const auto type = fields.number(16, 2);
  const auto machine = fields.number(18, 2);
  if (!type || !machine) {
    why = "its ELF header is cut short";
    return std::nullopt;
  }
  module.machine = elfMachine(static_cast<unsigned>(*machine));
  module.loadable = *type == 3;  // ET_DYN
  ElfReader reader(fields, module.bits == 64 ? kLayout64 : kLayout32);
  if (!reader.read(module, why)) {
    return std::nullopt;
  }
  return module;
}

}  // namespace rawout
