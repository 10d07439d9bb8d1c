#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

#include "loader/extension_buffer.h"

namespace rawout {

namespace {

// The guard pages of the buffers alive now, for a fault handler to recognise: lock-free, since
// the checks make buffers on several threads at once.
constexpr std::size_t kMostBuffers = 64;
std::array<std::atomic<const char*>, kMostBuffers> guardPages{};
std::atomic<std::size_t> guardPageBytes{0};

}  // namespace

void ExtensionBuffer::remember() const {
  guardPageBytes = pageBytes_;
  const char* guard = bytes_ + kBytes;
  for (auto& slot : guardPages) {
    const char* none = nullptr;
    if (slot.compare_exchange_strong(none, guard)) {
      return;
    }
  }
  // With every slot taken the page still stops the plug-in; only the report is plainer.
}

void ExtensionBuffer::forget() const {
  const char* guard = bytes_ + kBytes;
  for (auto& slot : guardPages) {
    const char* expected = guard;
    if (slot.compare_exchange_strong(expected, nullptr)) {
      return;
    }
  }
}

const char* ExtensionBuffer::bufferBefore(const void* address) noexcept {
  const auto* byte = static_cast<const char*>(address);
  const std::size_t pageBytes = guardPageBytes;
  for (const auto& slot : guardPages) {
    const char* guard = slot.load();
    if (guard != nullptr && byte >= guard && byte < guard + pageBytes) {
      return guard - kBytes;
    }
  }
  return nullptr;
}

void ExtensionBuffer::reset() { std::fill_n(bytes_, kBytes, kUnwritten); }

bool ExtensionBuffer::untouched() const {
  return std::all_of(bytes_, bytes_ + kBytes, [](char byte) { return byte == kUnwritten; });
}

std::optional<std::string> ExtensionBuffer::text() const {
  const std::size_t length = ::strnlen(bytes_, kBytes);
  return length < kBytes ? std::optional<std::string>(std::string(bytes_, length)) : std::nullopt;
}

}  // namespace rawout
