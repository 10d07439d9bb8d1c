// What a module file says of itself in its headers, ELF or PE, whichever platform reads it:
// enough to tell an author why a host cannot load it, and what it asks of the host that does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace rawout {

struct ModuleFile {
  enum class Format { Elf, Pe };
  enum class Stack { NotExecutable, Executable, Unsaid };

  Format format = Format::Elf;
  unsigned bits = 0;                   // 32 or 64
  std::string machine;                 // "x86-64", "i386", "AArch64", or "machine 0x1234"
  bool bigEndian = false;              // ELF only
  bool loadable = true;                // a shared object or a DLL, not a program
  std::vector<std::string> needed;     // DT_NEEDED, or the DLLs imported (delay-loaded too)
  std::vector<std::string> runPaths;   // DT_RUNPATH and DT_RPATH, each entry apart
  std::vector<std::string> exports;    // the names it exports
  bool exportsKnown = false;           // none when its section headers are stripped
  Stack stack = Stack::NotExecutable;  // ELF: PT_GNU_STACK's flags, or none
  bool textRelocations = false;        // ELF: DT_TEXTREL, or DF_TEXTREL in DT_FLAGS
  bool nxCompatible = true;            // PE: IMAGE_DLLCHARACTERISTICS_NX_COMPAT
  bool dynamicBase = true;             // PE: IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE

  // "a 32-bit DLL (i386)", "a 64-bit ELF module (x86-64)", "an ELF program (AArch64)".
  [[nodiscard]] std::string described() const;
};

// Reads `bytes` bytes at `offset` of a file into `into`: how many it could, fewer at its end.
using ByteSource = std::function<std::size_t(std::uint64_t offset, void* into, std::size_t bytes)>;

// The headers behind `source`; none, with why in `why`, for bytes that are no module of either
// format or whose headers run past the file.
std::optional<ModuleFile> parseModuleFile(const ByteSource& source, std::string& why);
// The same for the file at `path`.
std::optional<ModuleFile> readModuleFile(const std::string& path, std::string& why);

namespace detail {
std::optional<ModuleFile> parseElf(const ByteSource& source, std::string& why);
std::optional<ModuleFile> parsePe(const ByteSource& source, std::string& why);
}  // namespace detail

}  // namespace rawout
