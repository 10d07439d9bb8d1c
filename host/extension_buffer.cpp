#include <algorithm>
#include <cstring>

#include "extension_buffer.h"

namespace rawout {

void ExtensionBuffer::fill(char value) const { std::fill_n(bytes_, kBytes, value); }

std::optional<std::string> ExtensionBuffer::text() const {
  const std::size_t length = ::strnlen(bytes_, kBytes);
  return length < kBytes ? std::optional<std::string>(std::string(bytes_, length)) : std::nullopt;
}

}  // namespace rawout
