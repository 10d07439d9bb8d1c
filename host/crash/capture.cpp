#include "crash/capture.h"

#include "memory/extension_buffer.h"
#include "memory/read_only_copy.h"

namespace rawout {

namespace {

// Text put together in a fixed buffer, as a signal handler may.
class Line {
 public:
  Line(char* text, std::size_t capacity) : text_(text), capacity_(capacity) {}
  Line& operator<<(const char* part) noexcept {
    while (*part != '\0' && used_ + 1 < capacity_) {
      text_[used_++] = *part++;
    }
    text_[used_] = '\0';
    return *this;
  }
  Line& operator<<(std::size_t number) noexcept {
    char digits[24];
    std::size_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + number % 10);
      number /= 10;
    } while (number > 0);
    char reversed[24];
    for (std::size_t index = 0; index < count; ++index) {
      reversed[index] = digits[count - 1 - index];
    }
    reversed[count] = '\0';
    return *this << static_cast<const char*>(reversed);
  }
  [[nodiscard]] std::size_t used() const { return used_; }

 private:
  char* text_;
  std::size_t capacity_;
  std::size_t used_ = 0;
};

}  // namespace

std::size_t lentAt(const void* address, char* text, std::size_t capacity) noexcept {
  if (capacity == 0) {
    return 0;
  }
  Line line(text, capacity);
  const char* what = nullptr;
  std::size_t offset = 0;
  const auto* byte = static_cast<const char*>(address);
  if (ReadOnlyCopy::holding(address, what, offset)) {
    line << what << " at byte " << offset;
  } else if (const char* buffer = ExtensionBuffer::bufferBefore(address)) {
    line << static_cast<std::size_t>(byte - buffer - ExtensionBuffer::kBytes + 1)
         << " byte(s) past the end of the extension buffer";
  } else if (const char* buffer = ExtensionBuffer::bufferAfter(address)) {
    line << static_cast<std::size_t>(buffer - byte) << " byte(s) before the extension buffer";
  }
  return line.used();
}

}  // namespace rawout
