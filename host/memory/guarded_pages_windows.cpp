#include <windows.h>

#include "memory/guarded_pages.h"

namespace rawout {

std::size_t pageBytes() {
  SYSTEM_INFO system{};
  ::GetSystemInfo(&system);
  return system.dwPageSize;
}

void* takePages(std::size_t bytes) {
  return ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

bool setAccess(void* pages, std::size_t bytes, PageAccess access) {
  const DWORD protection = access == PageAccess::None   ? PAGE_NOACCESS
                           : access == PageAccess::Read ? PAGE_READONLY
                                                        : PAGE_READWRITE;
  DWORD old = 0;
  return ::VirtualProtect(pages, bytes, protection, &old) != 0;
}

void releasePages(void* pages, std::size_t /*bytes*/) { ::VirtualFree(pages, 0, MEM_RELEASE); }

bool reservePagesAt(void* pages, std::size_t bytes) {
  // Reserved alone, never committed: any access is an access violation. A reservation starts on
  // the allocation granularity (64 KiB), as a module's image does.
  return ::VirtualAlloc(pages, bytes, MEM_RESERVE, PAGE_NOACCESS) == pages;
}

}  // namespace rawout
