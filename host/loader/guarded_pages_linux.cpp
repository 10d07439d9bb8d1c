#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "loader/guarded_pages.h"

namespace rawout {

std::size_t pageBytes() { return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)); }

void* takePages(std::size_t bytes) {
  void* pages = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) {
    return nullptr;
  }
  preferHugePages(pages, bytes);
  return pages;
}

bool setAccess(void* pages, std::size_t bytes, PageAccess access) {
  const int protection = access == PageAccess::None   ? PROT_NONE
                         : access == PageAccess::Read ? PROT_READ
                                                      : PROT_READ | PROT_WRITE;
  return ::mprotect(pages, bytes, protection) == 0;
}

void releasePages(void* pages, std::size_t bytes) { ::munmap(pages, bytes); }

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
