// The program to export, read whole into memory so it can go to the plug-in in one call.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace rawout {

class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  // "INPUT: WHAT: the system's message", where "-" reads as "standard input".
  static InputError fromErrno(const std::string& path, const char* what, int cause);
  static InputError tooLarge(const std::string& path);
};

class InputBlock {
 public:
  // The boundary counts bytes in 32 bits.
  static constexpr std::uint64_t kMaxBytes = 0xFFFFFFFFU;

  // Reads the file at `path`, or standard input for "-". Throws InputError naming the input.
  explicit InputBlock(const std::string& path);
  ~InputBlock();
  InputBlock(const InputBlock&) = delete;
  InputBlock& operator=(const InputBlock&) = delete;

  // Null for an empty input.
  [[nodiscard]] const void* data() const { return data_; }
  [[nodiscard]] std::uint32_t size() const { return size_; }

  // True when the block was read from the file at `path`. Writing there truncates the input
  // before its bytes are written, so one failed write would lose them both.
  [[nodiscard]] bool isReadFrom(const std::string& path) const;

 private:
  const void* data_ = nullptr;
  std::uint32_t size_ = 0;
  void* region_ = nullptr;
  std::uint64_t regionBytes_ = 0;
  // Which file the input was, when it was one: device (volume) and inode (file index).
  std::uint64_t fileDevice_ = 0;
  std::uint64_t fileInode_ = 0;
};

}  // namespace rawout
