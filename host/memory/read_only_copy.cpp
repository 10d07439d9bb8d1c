#include "memory/read_only_copy.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <new>

#include "memory/guarded_pages.h"

namespace rawout {

namespace {

// The copies alive now, for a fault handler to recognise: the checks save on several threads.
constexpr std::size_t kMostCopies = 64;
std::array<std::atomic<const ReadOnlyCopy*>, kMostCopies> copies{};

}  // namespace

ReadOnlyCopy::ReadOnlyCopy(const void* bytes, std::size_t size, const char* what)
    : size_(size), what_(what) {
  if (bytes == nullptr) {
    return;
  }
  takeAndRemember(size);
  if (size > 0) {
    std::memcpy(pages_, bytes, size);
  }
  (void)setAccess(pages_, pageSpan_, PageAccess::Read);
}

ReadOnlyCopy::ReadOnlyCopy(std::size_t size, const std::function<void(unsigned char* bytes)>& fill,
                           const char* what)
    : size_(size), what_(what) {
  takeAndRemember(size);
  fill(static_cast<unsigned char*>(pages_));
  (void)setAccess(pages_, pageSpan_, PageAccess::Read);
}

void ReadOnlyCopy::takeAndRemember(std::size_t size) {
  const std::size_t page = pageBytes();
  // At least one page, so that an empty block still has an address of its own.
  pageSpan_ = (size + page - 1) / page * page + (size == 0 ? page : 0);
  pages_ = takePages(pageSpan_ + page);
  if (pages_ == nullptr) {
    throw std::bad_alloc();
  }
  if (!setAccess(static_cast<char*>(pages_) + pageSpan_, page, PageAccess::None)) {
    releasePages(pages_, pageSpan_ + page);
    pages_ = nullptr;
    throw std::bad_alloc();
  }
  guardBytes_ = page;
  bytes_ = pages_;
  // With every slot taken the pages still stop the plug-in; only the report is plainer.
  for (auto& slot : copies) {
    const ReadOnlyCopy* none = nullptr;
    if (slot.compare_exchange_strong(none, this)) {
      break;
    }
  }
}

ReadOnlyCopy::~ReadOnlyCopy() {
  if (pages_ == nullptr) {
    return;
  }
  for (auto& slot : copies) {
    const ReadOnlyCopy* expected = this;
    if (slot.compare_exchange_strong(expected, nullptr)) {
      break;
    }
  }
  releasePages(pages_, pageSpan_ + guardBytes_);
}

bool ReadOnlyCopy::covers(const void* bytes, std::size_t size) noexcept {
  const auto* first = static_cast<const char*>(bytes);
  return std::any_of(copies.begin(), copies.end(), [first, size](const auto& slot) {
    const ReadOnlyCopy* copy = slot.load();
    const auto* begin = copy != nullptr ? static_cast<const char*>(copy->pages_) : nullptr;
    return begin != nullptr && first >= begin && first + size <= begin + copy->pageSpan_;
  });
}

ReadOnlyCopy::Place ReadOnlyCopy::holding(const void* address) noexcept {
  const auto* byte = static_cast<const char*>(address);
  for (const auto& slot : copies) {
    const ReadOnlyCopy* copy = slot.load();
    const auto* begin = copy != nullptr ? static_cast<const char*>(copy->pages_) : nullptr;
    if (begin != nullptr && byte >= begin && byte < begin + copy->pageSpan_ + copy->guardBytes_) {
      return {copy->what_, static_cast<std::size_t>(byte - begin), copy->size_};
    }
  }
  return {};
}

}  // namespace rawout
