#include <sys/mman.h>
#include <unistd.h>

#include "memory/guarded_pages.h"
#include "memory/huge_pages.h"

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

bool reservePagesAt(void* pages, std::size_t bytes) {
  // A kernel older than MAP_FIXED_NOREPLACE takes the address as a hint.
  void* placed = ::mmap(pages, bytes, PROT_NONE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
  if (placed != MAP_FAILED && placed != pages) {
    ::munmap(placed, bytes);
  }
  return placed == pages;
}

}  // namespace rawout
