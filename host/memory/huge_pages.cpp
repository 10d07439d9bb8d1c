#include "memory/huge_pages.h"

namespace rawout {

Bytes zeroBytes(std::size_t size) {
  Bytes bytes;
  bytes.reserve(size);
  preferHugePages(bytes.data(), size);
  bytes.resize(size);
  return bytes;
}

}  // namespace rawout
