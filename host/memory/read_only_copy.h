// What the host lends a plug-in to read (the block, the base name), copied into pages the plug-in
// may only read, with a page no one may touch after them: a write into them, or just past their
// end, is a fault that the FaultTrap names, instead of a change to the host's own memory that the
// plug-in may even put back before it returns.
#pragma once

#include <cstddef>
#include <functional>

namespace rawout {

class ReadOnlyCopy {
 public:
  // `what` names the bytes in messages ("the block"); it must outlive the copy. A null `bytes`
  // gives a null copy. Throws std::bad_alloc when no pages can be had.
  ReadOnlyCopy(const void* bytes, std::size_t size, const char* what);
  // `size` bytes that `fill` writes in place, then made read-only: a block made for lending, with
  // no copy. Throws std::bad_alloc when no pages can be had.
  ReadOnlyCopy(std::size_t size, const std::function<void(unsigned char* bytes)>& fill,
               const char* what);
  ~ReadOnlyCopy();
  ReadOnlyCopy(const ReadOnlyCopy&) = delete;
  ReadOnlyCopy& operator=(const ReadOnlyCopy&) = delete;

  [[nodiscard]] const void* data() const { return bytes_; }
  [[nodiscard]] const char* text() const { return static_cast<const char*>(bytes_); }

  // Where in a copy alive now an address lies, its pages or the page after them.
  struct Place {
    const char* what = nullptr;  // null: in none
    std::size_t offset = 0;      // from the copy's first byte: its size or more past its end
    std::size_t size = 0;
  };
  // Safe in a signal handler.
  static Place holding(const void* address) noexcept;
  // Whether `size` bytes at `bytes` lie wholly inside one copy alive now: read-only already.
  static bool covers(const void* bytes, std::size_t size) noexcept;

 private:
  void takeAndRemember(std::size_t size);

  void* pages_ = nullptr;
  std::size_t pageSpan_ = 0;    // readable
  std::size_t guardBytes_ = 0;  // after them, not to be touched
  const void* bytes_ = nullptr;
  std::size_t size_ = 0;
  const char* what_;
  std::size_t slot_ = static_cast<std::size_t>(-1);  // none: every slot was taken
};

}  // namespace rawout
