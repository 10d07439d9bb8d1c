#include <windows.h>

#include <new>

#include "loader/extension_buffer.h"

namespace rawout {

ExtensionBuffer::ExtensionBuffer() {
  SYSTEM_INFO system{};
  ::GetSystemInfo(&system);
  pageBytes_ = system.dwPageSize;
  pages_ = ::VirtualAlloc(nullptr, 2 * pageBytes_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (pages_ == nullptr) {
    throw std::bad_alloc();
  }
  char* guard = static_cast<char*>(pages_) + pageBytes_;
  DWORD old = 0;
  if (::VirtualProtect(guard, pageBytes_, PAGE_NOACCESS, &old) == 0) {
    ::VirtualFree(pages_, 0, MEM_RELEASE);
    throw std::bad_alloc();
  }
  bytes_ = guard - kBytes;
  reset();
  remember();
}

ExtensionBuffer::~ExtensionBuffer() {
  forget();
  ::VirtualFree(pages_, 0, MEM_RELEASE);
}

}  // namespace rawout
