#include "memory/huge_pages.h"

namespace rawout {

// Large pages on Windows need a privilege a host does not have.
void preferHugePages(void* /*start*/, std::size_t /*bytes*/) {}

}  // namespace rawout
