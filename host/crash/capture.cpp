#include "crash/capture.h"

#include <array>
#include <atomic>

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

// The ranges of the unloaded plug-in's image.
constexpr std::size_t kMostImageRanges = 16;
std::array<std::atomic<std::uintptr_t>, 2 * kMostImageRanges> unloadedImage{};

bool inUnloadedImage(std::uintptr_t address) noexcept {
  for (std::size_t range = 0; range < kMostImageRanges; ++range) {
    if (address >= unloadedImage[2 * range].load() &&
        address < unloadedImage[2 * range + 1].load()) {
      return true;
    }
  }
  return false;
}

}  // namespace

void rememberUnloadedImage(std::uintptr_t begin, std::uintptr_t end) noexcept {
  for (std::size_t range = 0; range < kMostImageRanges; ++range) {
    if (unloadedImage[2 * range + 1].load() == 0) {
      unloadedImage[2 * range].store(begin);
      unloadedImage[2 * range + 1].store(end);
      return;
    }
  }
}

std::size_t lentAt(const void* address, char* text, std::size_t capacity) noexcept {
  if (capacity == 0) {
    return 0;
  }
  Line line(text, capacity);
  const auto* byte = static_cast<const char*>(address);
  if (const ReadOnlyCopy::Place lent = ReadOnlyCopy::holding(address); lent.what != nullptr) {
    line << lent.what << " at byte " << lent.offset;
    if (lent.offset >= lent.size) {
      line << ", past its end (" << lent.size << " bytes)";
    }
  } else if (const char* buffer = ExtensionBuffer::bufferBefore(address)) {
    line << static_cast<std::size_t>(byte - buffer - ExtensionBuffer::kBytes + 1)
         << " byte(s) past the end of the extension buffer";
  } else if (const char* buffer = ExtensionBuffer::bufferAfter(address)) {
    line << static_cast<std::size_t>(buffer - byte) << " byte(s) before the extension buffer";
  } else if (inUnloadedImage(reinterpret_cast<std::uintptr_t>(address))) {
    return (line << "what was the plug-in's image until it was unloaded: something called or "
                    "read it after the unload")
        .used();
  }
  if (line.used() > 0) {
    line << ", which the host lent";
  }
  return line.used();
}

}  // namespace rawout
