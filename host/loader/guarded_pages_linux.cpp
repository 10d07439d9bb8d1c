#include <sys/mman.h>
#include <unistd.h>

#include "loader/guarded_pages.h"

namespace rawout {

std::size_t pageBytes() { return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)); }

void* takePages(std::size_t bytes) {
  void* pages = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return pages == MAP_FAILED ? nullptr : pages;
}

bool setAccess(void* pages, std::size_t bytes, PageAccess access) {
  const int protection = access == PageAccess::None   ? PROT_NONE
                         : access == PageAccess::Read ? PROT_READ
                                                      : PROT_READ | PROT_WRITE;
  return ::mprotect(pages, bytes, protection) == 0;
}

void releasePages(void* pages, std::size_t bytes) { ::munmap(pages, bytes); }

}  // namespace rawout
