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

#include "input_block.h"

namespace rawout {

namespace {

// The volume and the file's index on it: together they tell one file from another.
struct Identity {
  std::uint64_t device;
  std::uint64_t index;
};

std::optional<Identity> fileIdentity(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (::GetFileInformationByHandle(file, &information) == 0) {
    return std::nullopt;
  }
  return Identity{std::uint64_t{information.dwVolumeSerialNumber},
                  (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

}  // namespace

void InputMemory::release(void* address, std::size_t /*bytes*/) noexcept { std::free(address); }

InputBlock::InputBlock(const std::string& path) {
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
  if (const auto identity = fileIdentity(handle)) {
    file_ = FileIdentity{identity->device, identity->index};
  }

  struct _stati64 status {};
  std::size_t capacity = std::size_t{1} << 20;
  if (::_fstati64(::_fileno(input.get()), &status) == 0 && (status.st_mode & _S_IFREG) != 0) {
    const auto length = static_cast<std::uint64_t>(status.st_size);
    if (length > kMaxBytes) {
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
  std::size_t filled = 0;
  for (;;) {
    filled +=
        std::fread(static_cast<char*>(block.get()) + filled, 1, capacity - filled, input.get());
    if (static_cast<std::uint64_t>(filled) > kMaxBytes) {
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
  if (std::ferror(input.get()) != 0) {
    throw InputError::fromErrno(path, "cannot read", errno);
  }
  memory_ = std::move(block);
  data_ = memory_.get();
  size_ = static_cast<std::uint32_t>(filled);
}

bool InputBlock::isTheInput(const std::string& path) const {
  HANDLE file =
      ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  const auto identity = fileIdentity(file);
  ::CloseHandle(file);
  return file_ && identity && identity->device == file_->device && identity->index == file_->index;
}

std::vector<std::string> InputBlock::namesExtending(const std::string& baseName) {
  const std::size_t folderEnd = baseName.find_last_of("\\/:");
  const std::size_t stemBytes =
      baseName.size() - (folderEnd == std::string::npos ? 0 : folderEnd + 1);
  std::vector<std::string> names;
  // The system matches the pattern without regard to case, as it opens names.
  WIN32_FIND_DATAA entry{};
  HANDLE search = ::FindFirstFileA((baseName + ".*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) {
    return names;
  }
  do {
    const std::string name = entry.cFileName;
    if (name.size() > stemBytes && couldBeExtension(name.substr(stemBytes))) {
      names.push_back(baseName + name.substr(stemBytes));
    }
  } while (::FindNextFileA(search, &entry));
  ::FindClose(search);
  return names;
}

}  // namespace rawout
