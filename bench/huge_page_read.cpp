// The least a host that holds the program it built in its own memory, at its best, can do to put
// a file's bytes in another file: read the input into anonymous memory aligned for huge pages and
// asked for them, one write loop into the output. A host's heap holds the program so; a file
// mapping's 4 KiB pages cost a fault every few pages and a TLB miss on each.
// Usage: huge_page_read INPUT OUTPUT
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

int fail(const char* what) {
  (void)std::fprintf(stderr, "huge_page_read: %s: %s\n", what, std::strerror(errno));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    (void)std::fputs("usage: huge_page_read INPUT OUTPUT\n", stderr);
    return 2;
  }
  const int input = ::open(argv[1], O_RDONLY | O_CLOEXEC);
  struct stat status {};
  if (input < 0 || ::fstat(input, &status) != 0 || status.st_size == 0) {
    return fail(argv[1]);
  }
  const auto size = static_cast<std::size_t>(status.st_size);
  const std::size_t span = (size + kHugePage - 1) / kHugePage * kHugePage;
  void* reserved = ::mmap(nullptr, span + kHugePage, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (reserved == MAP_FAILED) {
    return fail("mmap");
  }
  auto* bytes = reinterpret_cast<char*>(
      (reinterpret_cast<std::uintptr_t>(reserved) + kHugePage - 1) / kHugePage * kHugePage);
  (void)::madvise(bytes, span, MADV_HUGEPAGE);
  for (std::size_t done = 0; done < size;) {
    const ssize_t got = ::read(input, bytes + done, size - done);
    if (got == 0 || (got < 0 && errno != EINTR)) {
      return fail(argv[1]);
    }
    done += got > 0 ? static_cast<std::size_t>(got) : 0;
  }
  const int output = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (output < 0) {
    return fail(argv[2]);
  }
  for (std::size_t done = 0; done < size;) {
    const ssize_t written = ::write(output, bytes + done, size - done);
    if (written < 0 && errno != EINTR) {
      return fail(argv[2]);
    }
    done += written > 0 ? static_cast<std::size_t>(written) : 0;
  }
  ::munmap(reserved, span + kHugePage);
  return ::close(output) == 0 && ::close(input) == 0 ? 0 : fail(argv[2]);
}
