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
    throw InputError::fromErrno(path, "cannot open", errno);
  }
  struct stat status {};
  if (::fstat(input.get(), &status) != 0) {
    throw InputError::fromErrno(path, "cannot read", errno);
  }

  // A regular file is mapped, not copied: the bytes go from the page cache to the plug-in. Standard
  // input may be a file read part-way already; the rest of it is the input.
  const off_t start = S_ISREG(status.st_mode) ? ::lseek(input.get(), 0, SEEK_CUR) : -1;
  if (start >= 0 && start <= status.st_size) {
    const auto length = static_cast<std::uint64_t>(status.st_size - start);
    if (length > kMaxBytes) {
      throw InputError::tooLarge(path);
    }
    if (length == 0) {
      return;
    }
    const auto page = static_cast<off_t>(::sysconf(_SC_PAGESIZE));
    const off_t mapStart = start - start % page;
    const auto mapBytes = static_cast<std::size_t>(status.st_size - mapStart);
    void* mapped =
        ::mmap(nullptr, mapBytes, PROT_READ, MAP_PRIVATE | MAP_POPULATE, input.get(), mapStart);
    if (mapped == MAP_FAILED) {
      throw InputError::fromErrno(path, "cannot read", errno);
    }
    region_ = mapped;
    regionBytes_ = mapBytes;
    data_ = static_cast<const char*>(mapped) + (start - mapStart);
    size_ = static_cast<std::uint32_t>(length);
    fileDevice_ = status.st_dev;
    fileInode_ = status.st_ino;
    return;
  }

  // Pipes and terminals: read in large blocks into memory that grows by remapping, so the block
  // is never copied and memory stays near the input's size.
  std::size_t capacity = std::size_t{1} << 20;
  void* block =
      ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) {
    throw InputError::fromErrno(path, "cannot read", errno);
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
        throw InputError::fromErrno(path, "cannot read", cause);
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
      throw InputError::fromErrno(path, "cannot read", cause);
    }
    if (count == 0) {
      break;
    }
    filled += static_cast<std::size_t>(count);
    if (filled > kMaxBytes) {
      release();
      throw InputError::tooLarge(path);
    }
  }
  region_ = block;
  regionBytes_ = capacity;
  data_ = filled > 0 ? block : nullptr;
  size_ = static_cast<std::uint32_t>(filled);
}

InputBlock::~InputBlock() {
  if (region_ != nullptr) {
    ::munmap(region_, static_cast<std::size_t>(regionBytes_));
  }
}

bool InputBlock::isReadFrom(const std::string& path) const {
  struct stat status {};
  return fileInode_ != 0 && ::stat(path.c_str(), &status) == 0 && status.st_dev == fileDevice_ &&
         status.st_ino == fileInode_;
}

}  // namespace rawout
