// Fields of a binary header read from a ByteSource, each bounds-checked: a header that runs past
// the file gives none, never a read of what is not there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "module/module_file.h"

namespace rawout {

class HeaderFields {
 public:
  HeaderFields(const ByteSource& source, bool bigEndian) : source_(source), big_(bigEndian) {}

  // The unsigned number of `bytes` bytes (1, 2, 4 or 8) at `offset`; none past the end.
  [[nodiscard]] std::optional<std::uint64_t> number(std::uint64_t offset, unsigned bytes) const;
  // The zero-terminated text at `offset`, at most `most` bytes; none without its zero.
  [[nodiscard]] std::optional<std::string> text(std::uint64_t offset, std::size_t most) const;

 private:
  const ByteSource& source_;
  bool big_;
};

// The name a module's machine field gives ("x86-64"), or "machine 0x1234".
std::string elfMachine(unsigned field);
std::string peMachine(unsigned field);

}  // namespace rawout
