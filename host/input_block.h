// The program to export, read whole into memory so it can go to the plug-in in one call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace rawout {

class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  // "INPUT: WHAT: the system's message", where "-" reads as "standard input".
  static InputError fromErrno(const std::string& path, const char* what, int cause);
  static InputError tooLarge(const std::string& path);
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

class InputBlock {
 public:
  // The boundary counts bytes in 32 bits.
  static constexpr std::uint64_t kMaxBytes = 0xFFFFFFFFU;

  // Reads the file at `path`, or standard input for "-". Throws InputError naming the input.
  explicit InputBlock(const std::string& path);

  // Null for an empty input.
  [[nodiscard]] const void* data() const { return size_ > 0 ? data_ : nullptr; }
  [[nodiscard]] std::uint32_t size() const { return size_; }

  // The file, if any, that an export to `baseName` would write over while it is the input:
  // `baseName` plus the plug-in's `extension` or, when that is not known, plus anything that fits
  // a plug-in's five-byte buffer (a dot and up to three bytes). Writing there truncates the input
  // before its bytes are written, so one failed write would lose them both.
  [[nodiscard]] std::optional<std::string> outputThatIsInput(
      const std::string& baseName, const std::optional<std::string>& extension) const;

 private:
  // Whether the file at `path`, followed through links as an open would, is the input file.
  [[nodiscard]] bool isTheInput(const std::string& path) const;
  // `baseName` plus each ending found beside it in its folder that could be an extension.
  static std::vector<std::string> namesExtending(const std::string& baseName);

  struct FileIdentity {
    std::uint64_t device;  // or volume
    std::uint64_t index;   // inode or file index
  };
  InputMemory memory_;
  const void* data_ = nullptr;
  std::uint32_t size_ = 0;
  // Set when the input is a file, named or redirected, whatever its length or offset.
  std::optional<FileIdentity> file_;
};

// An extension a plug-in can report: a dot and at most three more bytes before the terminator.
inline bool couldBeExtension(const std::string& text) {
  return !text.empty() && text.size() <= 4 && text.front() == '.';
}

}  // namespace rawout
