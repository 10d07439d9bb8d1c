#include "loader/fault_trap.h"

#include "loader/extension_buffer.h"
#include "support/printable.h"

#include <string>

namespace rawout {

namespace {

// Appends to a fixed buffer, as a signal handler may: no allocation, no locale.
class MessageBuffer {
 public:
  MessageBuffer(char* bytes, std::size_t capacity) : bytes_(bytes), capacity_(capacity) {}
  void add(const char* text, std::size_t length) noexcept {
    for (std::size_t index = 0; index < length && used_ < capacity_; ++index) {
      bytes_[used_++] = text[index];
    }
  }
  void add(const std::string& text) noexcept { add(text.data(), text.size()); }
  void add(const char* text) noexcept { add(text, std::char_traits<char>::length(text)); }
  // A byte the plug-in wrote, as it reads in a message.
  void addShown(unsigned char byte) noexcept {
    if (byte >= 0x20 && byte < 0x7F && byte != '\\' && byte != '"') {
      const char plain = static_cast<char>(byte);
      add(&plain, 1);
      return;
    }
    const char escaped[] = {'\\', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 15]};
    add(escaped, sizeof escaped);
  }
  [[nodiscard]] std::size_t used() const { return used_; }

 private:
  char* bytes_;
  std::size_t capacity_;
  std::size_t used_ = 0;
};

}  // namespace

FaultTrap::FaultTrap(std::string overrunMessage, std::string overrunEnd)
    : overrunMessage_(std::move(overrunMessage)), overrunEnd_(std::move(overrunEnd)) {
  install();
}

std::size_t FaultTrap::messageFor(const void* address, char* message,
                                  std::size_t capacity) const noexcept {
  MessageBuffer text(message, capacity);
  if (const char* buffer = ExtensionBuffer::bufferBefore(address)) {
    // All of the buffer and one byte more: at least one byte past its end, the zero not counted.
    text.add(overrunMessage_);
    static_assert(ExtensionBuffer::kBytes < 9, "one digit");
    const char needed = static_cast<char>('0' + ExtensionBuffer::kBytes + 1);
    bool written = false;
    for (std::size_t index = 0; index < ExtensionBuffer::kBytes; ++index) {
      written = written || buffer[index] != ExtensionBuffer::kUnwritten;
    }
    if (written) {
      text.add(" (\"");
      for (std::size_t index = 0; index < ExtensionBuffer::kBytes; ++index) {
        text.addShown(static_cast<unsigned char>(buffer[index]));
      }
      text.add("...\" needs at least ");
    } else {
      text.add(" (one store of at least ");
    }
    text.add(&needed, 1);
    text.add(written ? " bytes with its zero)" : " bytes)");
    text.add(overrunEnd_);
    return text.used();
  }
  const auto* byte = static_cast<const char*>(address);
  if (byte >= begin_ && byte < end_) {
    text.add(rangeMessage_);
    return text.used();
  }
  return 0;
}

void FaultTrap::watch(const void* begin, std::size_t bytes, std::string message) {
  rangeMessage_ = std::move(message);
  end_ = static_cast<const char*>(begin) + bytes;
  begin_ = static_cast<const char*>(begin);
}

}  // namespace rawout
