// Reads the input with Linux's mapping calls: a file is mapped (its pages come in once, as the
// save's process reads them; populated here, they would come in again after the fork), and what
// a pipe delivers goes into anonymous memory grown with mremap, so a large input is never copied
// twice.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "export/input_block.h"

namespace rawout {

namespace {

// Reads from the current offset to the end, into memory that grows by remapping.
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
      // Read-only from here on, as a mapped file is: a plug-in that writes into it faults.
      (void)::mprotect(block.get(), capacity, PROT_READ);
      return block;
    }
    filled += static_cast<std::size_t>(count);
    if (filled > InputBlock::kMaxBytes) {
      throw InputError::tooLarge(path);
    }
  }
}

std::int64_t modificationTime(const struct stat& status) {
  return std::int64_t{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec;
}

}  // namespace

void InputMemory::release(void* address, std::size_t bytes) noexcept { ::munmap(address, bytes); }

InputDescriptor::~InputDescriptor() {
  if (owned_ && descriptor_ >= 0) {
    ::close(descriptor_);
  }
}

InputBlock::InputBlock(const std::string& path) : path_(path) {
  const bool standardInput = path == "-";
  const int input = standardInput ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (input < 0) {
    throw InputError::fromErrno(path, "cannot open", errno);
  }
  descriptor_ = InputDescriptor(input, !standardInput);
  struct stat status {};
  if (::fstat(input, &status) != 0) {
    throw InputError::fromErrno(path, "cannot read", errno);
  }
  if (S_ISREG(status.st_mode)) {
    file_ = FileIdentity{status.st_dev, status.st_ino};
    sizeWhenRead_ = status.st_size;
    writtenWhenRead_ = modificationTime(status);
  }

  // Mapped, not copied: a read takes about twice as long for a large file. Standard input may be
  // a file read part-way already; the rest of it is the input. Files whose size the kernel does
  // not know (/proc reports 0) and those it cannot map (sysfs) are read.
  const off_t start = S_ISREG(status.st_mode) ? ::lseek(input, 0, SEEK_CUR) : -1;
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
    void* mapped = ::mmap(nullptr, mapBytes, PROT_READ, MAP_PRIVATE, input, mapStart);
    if (mapped != MAP_FAILED) {
      memory_ = InputMemory(mapped, mapBytes);
      data_ = static_cast<const char*>(mapped) + (start - mapStart);
      size_ = static_cast<std::uint32_t>(length);
      if (changed()) {
        throw InputError::changed(path);
      }
      return;
    }
    if (errno != ENODEV) {
      throw InputError::fromErrno(path, "cannot read", errno);
    }
  }
  std::size_t filled = 0;
  memory_ = readToEnd(input, path, filled);
  data_ = memory_.get();
  size_ = static_cast<std::uint32_t>(filled);
  if (changed()) {
    throw InputError::changed(path);
  }
}

bool InputBlock::changed() const {
  struct stat status {};
  return file_ && (::fstat(descriptor_.get(), &status) != 0 || status.st_size != sizeWhenRead_ ||
                   modificationTime(status) != writtenWhenRead_);
}

}  // namespace rawout
