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
// A slot holds what a reader needs itself, never a pointer into a copy that its own thread may be
// destroying, and a version that is odd while its owner rewrites it, so that a reader (a signal
// handler too) takes a whole, consistent record or none.
struct Slot {
  std::atomic<bool> taken{false};
  std::atomic<unsigned> version{0};
  std::atomic<const char*> begin{nullptr};
  std::atomic<std::size_t> readable{0};
  std::atomic<std::size_t> guard{0};
  std::atomic<std::size_t> size{0};
  std::atomic<const char*> what{nullptr};
};

constexpr std::size_t kMostCopies = 64;
std::array<Slot, kMostCopies> slots{};

struct Record {
  const char* begin = nullptr;
  std::size_t readable = 0;
  std::size_t guard = 0;
  std::size_t size = 0;
  const char* what = nullptr;
};

void publish(Slot& slot, const Record& record) {
  slot.version.fetch_add(1, std::memory_order_acq_rel);
  slot.begin.store(record.begin, std::memory_order_relaxed);
  slot.readable.store(record.readable, std::memory_order_relaxed);
  slot.guard.store(record.guard, std::memory_order_relaxed);
  slot.size.store(record.size, std::memory_order_relaxed);
  slot.what.store(record.what, std::memory_order_relaxed);
  slot.version.fetch_add(1, std::memory_order_release);
}

// False when the slot is empty or its owner was rewriting it meanwhile.
bool readSlot(const Slot& slot, Record& record) noexcept {
  const unsigned before = slot.version.load(std::memory_order_acquire);
  if ((before & 1U) != 0) {
    return false;
  }
  // Acquire loads, so that the second look at the version cannot come before them.
  record.begin = slot.begin.load(std::memory_order_acquire);
  record.readable = slot.readable.load(std::memory_order_acquire);
  record.guard = slot.guard.load(std::memory_order_acquire);
  record.size = slot.size.load(std::memory_order_acquire);
  record.what = slot.what.load(std::memory_order_acquire);
  return slot.version.load(std::memory_order_relaxed) == before && record.begin != nullptr;
}

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
  for (std::size_t index = 0; index < slots.size(); ++index) {
    bool free = false;
    if (slots[index].taken.compare_exchange_strong(free, true, std::memory_order_acquire)) {
      slot_ = index;
      publish(slots[index],
              {static_cast<const char*>(pages_), pageSpan_, guardBytes_, size_, what_});
      break;
    }
  }
}

ReadOnlyCopy::~ReadOnlyCopy() {
  if (pages_ == nullptr) {
    return;
  }
  if (slot_ < slots.size()) {
    publish(slots[slot_], {});
    slots[slot_].taken.store(false, std::memory_order_release);
  }
  releasePages(pages_, pageSpan_ + guardBytes_);
}

bool ReadOnlyCopy::covers(const void* bytes, std::size_t size) noexcept {
  const auto* first = static_cast<const char*>(bytes);
  return std::any_of(slots.begin(), slots.end(), [first, size](const Slot& slot) {
    Record copy;
    return readSlot(slot, copy) && first >= copy.begin &&
           first + size <= copy.begin + copy.readable;
  });
}

ReadOnlyCopy::Place ReadOnlyCopy::holding(const void* address) noexcept {
  const auto* byte = static_cast<const char*>(address);
  for (const Slot& slot : slots) {
    Record copy;
    if (readSlot(slot, copy) && byte >= copy.begin &&
        byte < copy.begin + copy.readable + copy.guard) {
      return {copy.what, static_cast<std::size_t>(byte - copy.begin), copy.size};
    }
  }
  return {};
}

}  // namespace rawout
