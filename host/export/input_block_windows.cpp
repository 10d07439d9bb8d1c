// On Windows the input is read into memory: a 32-bit host has no room to map large files.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "export/input_block.h"
#include "files/file_identity_windows.h"

namespace rawout {

void InputMemory::release(void* address, std::size_t /*bytes*/) noexcept { std::free(address); }

// A C runtime descriptor, as on Linux; the reader here closes its file before the block is used.
InputDescriptor::~InputDescriptor() {
  if (owned_ && descriptor_ >= 0) {
    ::_close(descriptor_);
  }
}

// The block is a copy, so a change to the file after the read does not reach it.
// NOLINTNEXTLINE(readability-convert-member-functions-to-static): one interface for every platform
bool InputBlock::changed() const { return false; }

namespace {

// Everything `input` holds, in memory that grows by doubling from the file's size (`status`, for
// a regular file) or 1 MiB; `filled` receives the count. Throws InputError naming `path`.
InputMemory readWhole(std::FILE* input, const std::string& path, const struct _stati64* status,
                      std::size_t& filled) {
  std::size_t capacity = std::size_t{1} << 20;
  if (status != nullptr) {
    const auto length = static_cast<std::uint64_t>(status->st_size);
    if (length > InputBlock::kMaxBytes) {
      throw InputError::tooLarge(path);
    }
    if (length >= SIZE_MAX) {
      throw InputError::fromErrno(path, "cannot read", ENOMEM);
    }
    capacity = static_cast<std::size_t>(length) + 1;  // one more byte sees the end at once
  }
  void* first = std::malloc(capacity);
  if (first == nullptr) {
    throw InputError::fromErrno(path, "cannot read", ENOMEM);
  }
  InputMemory block(first, capacity);
  filled = 0;
  for (;;) {
    filled += std::fread(static_cast<char*>(block.get()) + filled, 1, capacity - filled, input);
    if (static_cast<std::uint64_t>(filled) > InputBlock::kMaxBytes) {
      throw InputError::tooLarge(path);
    }
    if (filled < capacity) {
      break;
    }
    void* grown = capacity <= SIZE_MAX / 2 ? std::realloc(block.get(), capacity * 2) : nullptr;
    if (grown == nullptr) {
      throw InputError::fromErrno(path, "cannot read", ENOMEM);
    }
    capacity *= 2;
    block.resized(grown, capacity);
  }
  if (std::ferror(input) != 0) {
    throw InputError::fromErrno(path, "cannot read", errno);
  }
  return block;
}

}  // namespace

InputBlock::InputBlock(const std::string& path) : path_(path) {
  const bool standardInput = path == "-";
  std::FILE* opened = standardInput ? stdin : std::fopen(path.c_str(), "rbN");
  if (opened == nullptr) {
    throw InputError::fromErrno(path, "cannot open", errno);
  }
  const auto close = [standardInput](std::FILE* file) {
    if (!standardInput) {
      (void)std::fclose(file);
    }
  };
  const std::unique_ptr<std::FILE, decltype(close)> input(opened, close);
  if (standardInput) {
    ::_setmode(::_fileno(stdin), _O_BINARY);
  }
  // Pipes have no identity; a file, named or redirected, does. The C runtime hands out its
  // handles as integers.
  auto* const handle = reinterpret_cast<HANDLE>(  // NOLINT(performance-no-int-to-ptr)
      ::_get_osfhandle(::_fileno(input.get())));
  file_ = identityOfHandle(handle);

  struct _stati64 status {};
  const bool regular =
      ::_fstati64(::_fileno(input.get()), &status) == 0 && (status.st_mode & _S_IFREG) != 0;
  std::size_t filled = 0;
  InputMemory block = readWhole(input.get(), path, regular ? &status : nullptr, filled);
  // A file written while it was read gives a block that never existed on disk.
  struct _stati64 after {};
  if (regular && (::_fstati64(::_fileno(input.get()), &after) != 0 ||
                  after.st_size != status.st_size || after.st_mtime != status.st_mtime)) {
    throw InputError::changed(path);
  }
  memory_ = std::move(block);
  data_ = memory_.get();
  size_ = static_cast<std::uint32_t>(filled);
}

}  // namespace rawout
