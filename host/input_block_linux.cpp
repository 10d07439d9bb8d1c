// Reads the input with Linux's mapping calls: MAP_POPULATE for files, mremap to grow the block
// that a pipe fills.
#include <dirent.h>
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
    if (owned_ && fd_ >= 0) {
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

// Reads from the current offset to the end, into memory that grows by remapping, so the block is
// never copied and memory stays near the input's size.
InputMemory readToEnd(int input, const std::string& path, std::size_t& filled) {
  std::size_t capacity = std::size_t{1} << 20;
  void* first =
      ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (first == MAP_FAILED) {
    throw InputError::fromErrno(path, "cannot read", errno);
  }
  InputMemory block(first, capacity);
  filled = 0;
  for (;;) {
    if (filled == capacity) {
      // One byte over the limit is enough to know the input is too large.
      const std::size_t grown = static_cast<std::size_t>(
          std::min<std::uint64_t>(capacity * 2, InputBlock::kMaxBytes + 1));
      void* moved = ::mremap(block.get(), capacity, grown, MREMAP_MAYMOVE);
      if (moved == MAP_FAILED) {
        throw InputError::fromErrno(path, "cannot read", errno);
      }
      block.resized(moved, grown);
      capacity = grown;
    }
    const ssize_t count =
        ::read(input, static_cast<char*>(block.get()) + filled, capacity - filled);
    if (count < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw InputError::fromErrno(path, "cannot read", errno);
    }
    if (count == 0) {
      return block;
    }
    filled += static_cast<std::size_t>(count);
    if (filled > InputBlock::kMaxBytes) {
      throw InputError::tooLarge(path);
    }
  }
}

}  // namespace

void InputMemory::release(void* address, std::size_t bytes) noexcept { ::munmap(address, bytes); }

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
  if (S_ISREG(status.st_mode)) {
    file_ = FileIdentity{status.st_dev, status.st_ino};
  }

  // A regular file is mapped, not copied: the bytes go from the page cache to the plug-in.
  // Standard input may be a file read part-way already; the rest of it is the input. Files whose
  // size the kernel does not know (/proc reports 0) and those it cannot map (sysfs) are read.
  const off_t start = S_ISREG(status.st_mode) ? ::lseek(input.get(), 0, SEEK_CUR) : -1;
  if (start >= 0 && start <= status.st_size && status.st_size > 0) {
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
    if (mapped != MAP_FAILED) {
      memory_ = InputMemory(mapped, mapBytes);
      data_ = static_cast<const char*>(mapped) + (start - mapStart);
      size_ = static_cast<std::uint32_t>(length);
      return;
    }
    if (errno != ENODEV) {
      throw InputError::fromErrno(path, "cannot read", errno);
    }
  }

  std::size_t filled = 0;
  memory_ = readToEnd(input.get(), path, filled);
  data_ = memory_.get();
  size_ = static_cast<std::uint32_t>(filled);
}

bool InputBlock::isTheInput(const std::string& path) const {
  struct stat status {};
  return file_ && ::stat(path.c_str(), &status) == 0 && status.st_dev == file_->device &&
         status.st_ino == file_->index;
}

std::vector<std::string> InputBlock::namesExtending(const std::string& baseName) {
  const std::size_t slash = baseName.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : baseName.substr(0, slash + 1);
  const std::string stem = slash == std::string::npos ? baseName : baseName.substr(slash + 1);
  std::vector<std::string> names;
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) {
    return names;  // nothing there can be the input
  }
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name.size() > stem.size() && name.compare(0, stem.size(), stem) == 0 &&
        couldBeExtension(name.substr(stem.size()))) {
      names.push_back(baseName + name.substr(stem.size()));
    }
  }
  ::closedir(listing);
  return names;
}

}  // namespace rawout
