#include "loader/fault_trap.h"

#include "memory/extension_buffer.h"
#include "memory/guarded_pages.h"
#include "memory/read_only_copy.h"
#include "text/printable.h"

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
  void addNumber(std::size_t number) noexcept {
    char digits[24];
    std::size_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + number % 10);
      number /= 10;
    } while (number > 0);
    while (count > 0) {
      add(&digits[--count], 1);
    }
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

std::size_t FaultTrap::messageFor(const void* address, bool write, char* message,
                                  std::size_t capacity) const noexcept {
  MessageBuffer text(message, capacity);
  const auto* byte = static_cast<const char*>(address);
  const bool inRange = byte >= begin_ && byte < end_;
  // The pages of a copy fault on a store alone, the page after them on any access; the watched
  // range's last page is read-only past its end too.
  ReadOnlyCopy::Place lent = ReadOnlyCopy::holding(address);
  if (lent.what == nullptr && write && byte >= begin_ && byte < lentEnd_) {
    lent = {rangeWhat_, static_cast<std::size_t>(byte - begin_),
            static_cast<std::size_t>(end_ - begin_)};
  }
  if (reportsWrites_ && lent.what != nullptr) {
    text.add(writeBefore_);
    if (lent.offset < lent.size) {
      text.add("wrote into ");
      text.add(lent.what);
      text.add(" at byte ");
      text.addNumber(lent.offset);
      text.add(", which the host hands over read-only");
    } else {
      text.add(write ? "wrote past the end of " : "read past the end of ");
      text.add(lent.what);
      text.add(" (");
      text.addNumber(lent.size);
      text.add(" bytes), at byte ");
      text.addNumber(lent.offset);
    }
    text.add(writeAfter_);
    return text.used();
  }
  if (!underrunMessage_.empty() && ExtensionBuffer::bufferAfter(address) != nullptr) {
    text.add(underrunMessage_);
    return text.used();
  }
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
  if (inRange) {
    text.add(rangeMessage_);
    return text.used();
  }
  return 0;
}

void FaultTrap::watch(const void* begin, std::size_t bytes, std::string message, const char* what) {
  rangeMessage_ = std::move(message);
  rangeWhat_ = what;
  end_ = static_cast<const char*>(begin) + bytes;
  const std::size_t page = pageBytes();
  lentEnd_ = static_cast<const char*>(begin) + (bytes + page - 1) / page * page;
  begin_ = static_cast<const char*>(begin);
}

}  // namespace rawout
