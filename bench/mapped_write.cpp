// The least a host that hands a plug-in its program as an address can do to put a file's bytes in
// another file: map the input, one write loop into the output, unmap. `cp` copies inside the
// kernel and never maps the input, so it sets no bar that such a host can reach.
// Usage: mapped_write INPUT OUTPUT
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

int fail(const char* what) {
  (void)std::fprintf(stderr, "mapped_write: %s: %s\n", what, std::strerror(errno));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    (void)std::fputs("usage: mapped_write INPUT OUTPUT\n", stderr);
    return 2;
  }
  const int input = ::open(argv[1], O_RDONLY | O_CLOEXEC);
  struct stat status {};
  if (input < 0 || ::fstat(input, &status) != 0 || status.st_size == 0) {
    return fail(argv[1]);
  }
  const auto size = static_cast<std::size_t>(status.st_size);
  void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, input, 0);
  const int output = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (mapped == MAP_FAILED || output < 0) {
    return fail(argv[2]);
  }
  const char* bytes = static_cast<const char*>(mapped);
  for (std::size_t done = 0; done < size;) {
    const ssize_t written = ::write(output, bytes + done, size - done);
    if (written < 0 && errno != EINTR) {
      return fail(argv[2]);
    }
    done += written > 0 ? static_cast<std::size_t>(written) : 0;
  }
  ::munmap(mapped, size);
  return ::close(output) == 0 && ::close(input) == 0 ? 0 : fail(argv[2]);
}
