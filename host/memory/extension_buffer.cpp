#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

#include "memory/extension_buffer.h"

#include <new>

#include "memory/guarded_pages.h"

namespace rawout {

namespace {

// The guard pages of the buffers alive now, for a fault handler to recognise: lock-free, since
// the checks make buffers on several threads at once.
constexpr std::size_t kMostBuffers = 64;
using GuardPages = std::array<std::atomic<const char*>, kMostBuffers>;
GuardPages guardsAfter{};
GuardPages guardsBefore{};
std::atomic<std::size_t> guardPageBytes{0};

// The guard page in `guards` that holds `address`, or null.
const char* guardHolding(const GuardPages& guards, const void* address) noexcept {
  const auto* byte = static_cast<const char*>(address);
  const std::size_t pageBytes = guardPageBytes;
  for (const auto& slot : guards) {
    const char* guard = slot.load();
    if (guard != nullptr && byte >= guard && byte < guard + pageBytes) {
      return guard;
    }
  }
  return nullptr;
}

}  // namespace

ExtensionBuffer::ExtensionBuffer(Guard guard) : guard_(guard), pageBytes_(pageBytes()) {
  pages_ = takePages(2 * pageBytes_);
  if (pages_ == nullptr) {
    throw std::bad_alloc();
  }
  auto* const first = static_cast<char*>(pages_);
  guardPage_ = guard == Guard::After ? first + pageBytes_ : first;
  if (!setAccess(guardPage_, pageBytes_, PageAccess::None)) {
    releasePages(pages_, 2 * pageBytes_);
    throw std::bad_alloc();
  }
  bytes_ = guard == Guard::After ? guardPage_ - kBytes : first + pageBytes_;
  reset();
  remember();
}

ExtensionBuffer::~ExtensionBuffer() {
  forget();
  releasePages(pages_, 2 * pageBytes_);
}

void ExtensionBuffer::remember() const {
  guardPageBytes = pageBytes_;
  const char* guard = guardPage_;
  for (auto& slot : guard_ == Guard::After ? guardsAfter : guardsBefore) {
    const char* none = nullptr;
    if (slot.compare_exchange_strong(none, guard)) {
      return;
    }
  }
  // With every slot taken the page still stops the plug-in; only the report is plainer.
}

void ExtensionBuffer::forget() const {
  const char* guard = guardPage_;
  for (auto& slot : guard_ == Guard::After ? guardsAfter : guardsBefore) {
    const char* expected = guard;
    if (slot.compare_exchange_strong(expected, nullptr)) {
      return;
    }
  }
}

const char* ExtensionBuffer::bufferBefore(const void* address) noexcept {
  const char* guard = guardHolding(guardsAfter, address);
  return guard != nullptr ? guard - kBytes : nullptr;
}

const char* ExtensionBuffer::bufferAfter(const void* address) noexcept {
  const char* guard = guardHolding(guardsBefore, address);
  return guard != nullptr ? guard + guardPageBytes : nullptr;
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
