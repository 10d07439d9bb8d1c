// Reads the input into memory such as a host's heap holds the program it built, at its best:
// anonymous, aligned for huge pages and asked for them, so that the save reads it through 2 MiB
// pages (a fault and a TLB entry for each, not for every 4 KiB page of a file mapping), and the
// forked save shares those pages without copying them or faulting them in again. What a pipe
// delivers goes into memory grown with mremap, which moves pages rather than copying them. Once
// read, the block is made read-only, so a plug-in that writes into it faults. Where the system
// gives no huge pages (transparent huge pages off), the same memory comes in 4 KiB pages.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "export/input_block.h"

namespace rawout {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t wholeHugePages(std::size_t bytes) {
  return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

// A private anonymous mapping of `span` bytes (whole huge pages) that starts at a huge page's
// boundary, or null. `access` is PROT_READ | PROT_WRITE, or PROT_NONE for room to move into.
void* takeAligned(std::size_t span, int access) {
  void* reserved = ::mmap(nullptr, span + kHugePage, access, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (reserved == MAP_FAILED) {
    return nullptr;
  }
  auto* const first = static_cast<char*>(reserved);
  const auto address = reinterpret_cast<std::uintptr_t>(first);  // NOLINT: aligned, not used
  const std::size_t head = (kHugePage - address % kHugePage) % kHugePage;
  if (head > 0) {
    ::munmap(first, head);
  }
  ::munmap(first + head + span, kHugePage - head);
  if (access != PROT_NONE) {
    (void)::madvise(first + head, span, MADV_HUGEPAGE);
  }
  return first + head;
}

// Reads up to `wanted` bytes into `into` from the current offset; how many, short only at the end.
std::size_t readInto(int input, const std::string& path, char* into, std::size_t wanted) {
  std::size_t done = 0;
  while (done < wanted) {
    const ssize_t count = ::read(input, into + done, wanted - done);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count < 0) {
      throw InputError::fromErrno(path, "cannot read", errno);
    }
    if (count == 0) {
      break;
    }
    done += static_cast<std::size_t>(count);
  }
  return done;
}

// Reads from the current offset to the end, into memory that grows by moving its pages to a
// larger aligned place. With `expected`, the size the file says it has, the memory holds it and
// one byte more from the start, so that the end is seen without growing.
InputMemory readToEnd(int input, const std::string& path, std::size_t expected,
                      std::size_t& filled) {
  std::size_t span = wholeHugePages(std::max<std::size_t>(expected + 1, kHugePage));
  void* first = takeAligned(span, PROT_READ | PROT_WRITE);
  if (first == nullptr) {
    throw InputError::fromErrno(path, "cannot read", errno);
  }
  InputMemory block(first, span);
  filled = 0;
  for (;;) {
    if (filled == span) {
      // One byte over the limit is enough to know the input is too large.
      const std::size_t grown = wholeHugePages(static_cast<std::size_t>(
          std::min<std::uint64_t>(std::uint64_t{span} * 2, InputBlock::kMaxBytes + 1)));
      void* room = takeAligned(grown, PROT_NONE);
      void* moved = room == nullptr
                        ? MAP_FAILED
                        : ::mremap(block.get(), span, grown, MREMAP_MAYMOVE | MREMAP_FIXED, room);
      if (moved == MAP_FAILED) {
        const int cause = errno;
        if (room != nullptr) {
          ::munmap(room, grown);
        }
        throw InputError::fromErrno(path, "cannot read", cause);
      }
      block.resized(moved, grown);
      span = grown;
    }
    const std::size_t count =
        readInto(input, path, static_cast<char*>(block.get()) + filled, span - filled);
    filled += count;
    if (filled > InputBlock::kMaxBytes) {
      throw InputError::tooLarge(path);
    }
    if (filled < span) {
      // Read-only from here on: a plug-in that writes into it faults.
      (void)::mprotect(block.get(), span, PROT_READ);
      return block;
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
  // Standard input may be a file read part-way already: the rest of it is the input. Files whose
  // size the kernel does not know (/proc reports 0) are read to their end all the same.
  std::size_t expected = 0;
  if (S_ISREG(status.st_mode)) {
    file_ = FileIdentity{status.st_dev, status.st_ino};
    sizeWhenRead_ = status.st_size;
    writtenWhenRead_ = modificationTime(status);
    const off_t start = ::lseek(input, 0, SEEK_CUR);
    if (start >= 0 && start < status.st_size) {
      const auto length = static_cast<std::uint64_t>(status.st_size - start);
      if (length > kMaxBytes) {
        throw InputError::tooLarge(path);
      }
      expected = static_cast<std::size_t>(length);
    }
  }
  std::size_t filled = 0;
  InputMemory block = readToEnd(input, path, expected, filled);
  if (filled > 0) {
    memory_ = std::move(block);
    data_ = memory_.get();
    size_ = static_cast<std::uint32_t>(filled);
  }
  // A file written while it was read gives a block that never existed on disk.
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
