// The program to export, whole in memory so it can go to the plug-in in one call, read as a host
// holds the program it built: on Linux into anonymous memory in huge pages, read-only once read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "files/file_identity.h"

namespace rawout {

class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  // "INPUT: WHAT: the system's message", where "-" reads as "standard input".
  static InputError fromErrno(const std::string& path, const char* what, int cause);
  static InputError tooLarge(const std::string& path);
  // The input was written while it was read or exported.
  static InputError changed(const std::string& path);
};

// Memory that holds an input block, released once, the way the platform's reader got it.
class InputMemory {
 public:
  InputMemory() = default;
  InputMemory(void* address, std::size_t bytes) noexcept : address_(address), bytes_(bytes) {}
  ~InputMemory() {
    if (address_ != nullptr) {
      release(address_, bytes_);
    }
  }
  InputMemory(InputMemory&& other) noexcept
      : address_(std::exchange(other.address_, nullptr)), bytes_(other.bytes_) {}
  InputMemory& operator=(InputMemory&& other) noexcept {
    std::swap(address_, other.address_);
    std::swap(bytes_, other.bytes_);
    return *this;
  }
  InputMemory(const InputMemory&) = delete;
  InputMemory& operator=(const InputMemory&) = delete;

  [[nodiscard]] void* get() const { return address_; }
  [[nodiscard]] std::size_t bytes() const { return bytes_; }
  // The memory was grown in place or moved by the platform (mremap, realloc).
  void resized(void* address, std::size_t bytes) noexcept {
    address_ = address;
    bytes_ = bytes;
  }

 private:
  static void release(void* address, std::size_t bytes) noexcept;
  void* address_ = nullptr;
  std::size_t bytes_ = 0;
};

// The descriptor an input is read through, closed once when it is the block's own.
class InputDescriptor {
 public:
  InputDescriptor() = default;
  InputDescriptor(int descriptor, bool owned) noexcept : descriptor_(descriptor), owned_(owned) {}
  ~InputDescriptor();
  InputDescriptor(const InputDescriptor&) = delete;
  InputDescriptor& operator=(const InputDescriptor&) = delete;
  InputDescriptor(InputDescriptor&&) = delete;
  InputDescriptor& operator=(InputDescriptor&& other) noexcept {
    std::swap(descriptor_, other.descriptor_);
    std::swap(owned_, other.owned_);
    return *this;
  }
  [[nodiscard]] int get() const { return descriptor_; }

 private:
  int descriptor_ = -1;
  bool owned_ = false;
};

class InputBlock {
 public:
  // The boundary counts bytes in 32 bits.
  static constexpr std::uint64_t kMaxBytes = 0xFFFFFFFFU;

  // Reads the file at `path`, or standard input for "-". Throws InputError naming the input.
  explicit InputBlock(const std::string& path);

  // As given: a path, or "-".
  [[nodiscard]] const std::string& path() const { return path_; }
  // Null for an empty input.
  [[nodiscard]] const void* data() const { return size_ > 0 ? data_ : nullptr; }
  [[nodiscard]] std::uint32_t size() const { return size_; }

  // The file the input was read from, named or redirected; none for a pipe or terminal.
  [[nodiscard]] const std::optional<FileIdentity>& file() const { return file_; }
  // Whether that file has been written, or changed size, since it was read: an export from a file
  // that changed meanwhile is refused, although the block holds the bytes as they were read.
  [[nodiscard]] bool changed() const;

 private:
  std::string path_;
  InputMemory memory_;
  const void* data_ = nullptr;
  std::uint32_t size_ = 0;
  std::optional<FileIdentity> file_;
  InputDescriptor descriptor_;  // kept open on Linux, to see whether the file changes
  std::int64_t sizeWhenRead_ = 0;
  std::int64_t writtenWhenRead_ = 0;  // modification time, in nanoseconds
};

}  // namespace rawout
