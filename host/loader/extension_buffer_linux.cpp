#include <sys/mman.h>
#include <unistd.h>

#include <new>

#include "loader/extension_buffer.h"

namespace rawout {

ExtensionBuffer::ExtensionBuffer() : pageBytes_(static_cast<std::size_t>(::sysconf(_SC_PAGESIZE))) {
  pages_ =
      ::mmap(nullptr, 2 * pageBytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages_ == MAP_FAILED) {
    throw std::bad_alloc();
  }
  char* guard = static_cast<char*>(pages_) + pageBytes_;
  if (::mprotect(guard, pageBytes_, PROT_NONE) != 0) {
    ::munmap(pages_, 2 * pageBytes_);
    throw std::bad_alloc();
  }
  bytes_ = guard - kBytes;
  reset();
  remember();
}

ExtensionBuffer::~ExtensionBuffer() {
  forget();
  ::munmap(pages_, 2 * pageBytes_);
}

}  // namespace rawout
