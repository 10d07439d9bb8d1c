#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "input_block.h"

namespace rawout {

namespace {

std::string describe(const std::string& path) { return path == "-" ? "standard input" : path; }

[[noreturn]] void fail(const std::string& path, const char* what, int cause) {
  throw InputError(describe(path) + ": " + what + ": " + std::strerror(cause));
}

[[noreturn]] void failTooLarge(const std::string& path) {
  throw InputError(describe(path) + ": too large to export: a program holds at most " +
                   std::to_string(InputBlock::kMaxBytes) + " bytes");
}

class Descriptor {
 public:
  explicit Descriptor(int fd, bool owned) : fd_(fd), owned_(owned) {}
  ~Descriptor() {
    if (owned_) {
      ::close(fd_);
    }
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  [[nodiscard]] int get() const { return fd_; }

 private:
  int fd_;
  bool owned_;
};

}  // namespace

InputBlock::InputBlock(const std::string& path) {
  const bool standardInput = path == "-";
  const Descriptor input(standardInput ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC),
                         !standardInput);
  if (input.get() < 0) {
    fail(path, "cannot open", errno);
  }
  struct stat status {};
  if (::fstat(input.get(), &status) != 0) {
    fail(path, "cannot read", errno);
  }

  // A named regular file is mapped, not copied: the bytes go from the page cache to the plug-in.
  if (!standardInput && S_ISREG(status.st_mode)) {
    if (static_cast<std::uint64_t>(status.st_size) > kMaxBytes) {
      failTooLarge(path);
    }
    if (status.st_size == 0) {
      return;
    }
    const auto length = static_cast<std::size_t>(status.st_size);
    void* mapped = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, input.get(), 0);
    if (mapped == MAP_FAILED) {
      fail(path, "cannot read", errno);
    }
    data_ = mapped;
    size_ = static_cast<std::uint32_t>(length);
    reserved_ = length;
    return;
  }

  // Pipes and terminals: read in large blocks into memory that grows by remapping, so the block
  // is never copied and memory stays near the input's size.
  std::size_t capacity = std::size_t{1} << 20;
  void* block =
      ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) {
    fail(path, "cannot read", errno);
  }
  std::size_t filled = 0;
  const auto release = [&] { ::munmap(block, capacity); };
  for (;;) {
    if (filled == capacity) {
      // One byte over the limit is enough to know the input is too large.
      const std::size_t grown =
          static_cast<std::size_t>(std::min<std::uint64_t>(capacity * 2, kMaxBytes + 1));
      void* moved = ::mremap(block, capacity, grown, MREMAP_MAYMOVE);
      if (moved == MAP_FAILED) {
        const int cause = errno;
        release();
        fail(path, "cannot read", cause);
      }
      block = moved;
      capacity = grown;
    }
    const ssize_t count =
        ::read(input.get(), static_cast<char*>(block) + filled, capacity - filled);
    if (count < 0) {
      if (errno == EINTR) {
        continue;
      }
      const int cause = errno;
      release();
      fail(path, "cannot read", cause);
    }
    if (count == 0) {
      break;
    }
    filled += static_cast<std::size_t>(count);
    if (filled > kMaxBytes) {
      release();
      failTooLarge(path);
    }
  }
  if (filled == 0) {
    release();
    return;
  }
  data_ = block;
  size_ = static_cast<std::uint32_t>(filled);
  reserved_ = capacity;
}

InputBlock::~InputBlock() {
  if (data_ != nullptr) {
    ::munmap(data_, static_cast<std::size_t>(reserved_));
  }
}

bool isSameFile(const std::string& first, const std::string& second) {
  struct stat a {};
  struct stat b {};
  return ::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0 &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace rawout
