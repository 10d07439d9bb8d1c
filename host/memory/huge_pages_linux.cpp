#include <sys/mman.h>

#include <cstdint>

#include "memory/guarded_pages.h"
#include "memory/huge_pages.h"

namespace rawout {

void preferHugePages(void* start, std::size_t bytes) {
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  const std::size_t page = pageBytes();
  auto* const first = static_cast<char*>(start);
  char* const from = first + (page - reinterpret_cast<std::uintptr_t>(first) % page) % page;
  char* const to = first + bytes - reinterpret_cast<std::uintptr_t>(first + bytes) % page;
  if (to > from && static_cast<std::size_t>(to - from) >= kHugePage) {
    (void)::madvise(from, static_cast<std::size_t>(to - from), MADV_HUGEPAGE);
  }
}

}  // namespace rawout
