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
#include <optional>
#include <utility>

#include "input_block.h"

namespace rawout {

namespace {

// The volume and the file's index on it: together they tell one file from another.
std::optional<std::pair<std::uint64_t, std::uint64_t>> fileIdentity(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (::GetFileInformationByHandle(file, &information) == 0) {
    return std::nullopt;
  }
  return std::pair{std::uint64_t{information.dwVolumeSerialNumber},
                   (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

}  // namespace

InputBlock::InputBlock(const std::string& path) {
  const bool standardInput = path == "-";
  std::FILE* input = standardInput ? stdin : std::fopen(path.c_str(), "rbN");
  if (input == nullptr) {
    throw InputError::fromErrno(path, "cannot open", errno);
  }
  if (standardInput) {
    ::_setmode(::_fileno(stdin), _O_BINARY);
  }
  const auto closeInput = [&] {
    if (!standardInput) {
      std::fclose(input);
    }
  };
  const auto failWith = [&](char* buffer, int cause) {
    std::free(buffer);
    closeInput();
    if (cause == 0) {
      throw InputError::tooLarge(path);
    }
    throw InputError::fromErrno(path, "cannot read", cause);
  };
  struct _stati64 status {};
  std::size_t capacity = std::size_t{1} << 20;
  if (::_fstati64(::_fileno(input), &status) == 0 && (status.st_mode & _S_IFREG) != 0) {
    const auto length = static_cast<std::uint64_t>(status.st_size);
    if (length > kMaxBytes) {
      failWith(nullptr, 0);
    }
    if (length >= SIZE_MAX) {
      failWith(nullptr, ENOMEM);
    }
    capacity = static_cast<std::size_t>(length) + 1;  // one more byte sees the end at once
  }
  char* buffer = static_cast<char*>(std::malloc(capacity));
  if (buffer == nullptr) {
    failWith(nullptr, ENOMEM);
  }
  std::size_t filled = 0;
  for (;;) {
    filled += std::fread(buffer + filled, 1, capacity - filled, input);
    if (static_cast<std::uint64_t>(filled) > kMaxBytes) {
      failWith(buffer, 0);
    }
    if (filled < capacity) {
      break;
    }
    char* grown =
        capacity <= SIZE_MAX / 2 ? static_cast<char*>(std::realloc(buffer, capacity * 2)) : nullptr;
    if (grown == nullptr) {
      failWith(buffer, ENOMEM);
    }
    buffer = grown;
    capacity *= 2;
  }
  const bool failed = std::ferror(input) != 0;
  const int cause = errno;
  // Pipes have no identity; a file, named or redirected, does.
  if (const auto identity =
          fileIdentity(reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(input))))) {
    fileDevice_ = identity->first;
    fileInode_ = identity->second;
  }
  closeInput();
  if (failed) {
    std::free(buffer);
    throw InputError::fromErrno(path, "cannot read", cause);
  }
  region_ = buffer;
  regionBytes_ = capacity;
  data_ = filled > 0 ? buffer : nullptr;
  size_ = static_cast<std::uint32_t>(filled);
}

InputBlock::~InputBlock() { std::free(region_); }

bool InputBlock::isReadFrom(const std::string& path) const {
  if (fileInode_ == 0) {
    return false;
  }
  HANDLE file =
      ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  const auto identity = fileIdentity(file);
  ::CloseHandle(file);
  return identity && identity->first == fileDevice_ && identity->second == fileInode_;
}

}  // namespace rawout
