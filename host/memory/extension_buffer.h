// The buffer a host hands a plug-in for its extension: bytes that end where an inaccessible
// page begins, so that a plug-in writing past them is stopped at the first byte too many instead
// of overwriting the host's memory; or that begin where one ends, for a store before them.
#pragma once

#include <rawout/export_plugin.h>

#include <cstddef>
#include <optional>
#include <string>

namespace rawout {

class ExtensionBuffer {
 public:
  static constexpr std::size_t kBytes = RAWOUT_EXTENSION_BUFFER_SIZE;
  // What each byte holds until the plug-in writes it: not a byte an extension holds (it is no
  // ASCII), so a plug-in that stores one has written over it.
  static constexpr char kUnwritten = '\xA5';
  // "the 5-byte extension buffer", for messages.
  static std::string described() {
    return "the " + std::to_string(kBytes) + "-byte extension buffer";
  }

  // Where the inaccessible page lies.
  enum class Guard { After, Before };

  // Throws std::bad_alloc when the two pages cannot be had. Starts unwritten (see reset).
  explicit ExtensionBuffer(Guard guard = Guard::After);
  ~ExtensionBuffer();
  ExtensionBuffer(const ExtensionBuffer&) = delete;
  ExtensionBuffer& operator=(const ExtensionBuffer&) = delete;

  // What the plug-in is handed to write into.
  [[nodiscard]] char* get() { return bytes_; }
  [[nodiscard]] const char* get() const { return bytes_; }
  // Marks the bytes with kUnwritten, for a save to come.
  void reset();
  // Whether the bytes still hold that mark: the plug-in left the buffer alone.
  [[nodiscard]] bool untouched() const;
  // The text before the first zero byte, or none when the bytes hold no zero.
  [[nodiscard]] std::optional<std::string> text() const;
  // The bytes of the buffer whose inaccessible page holds `address`, or null. Safe in a signal
  // handler.
  static const char* bufferBefore(const void* address) noexcept;
  // The same for a buffer whose inaccessible page lies before it, and holds `address`.
  static const char* bufferAfter(const void* address) noexcept;

 private:
  void remember() const;
  void forget() const;

  Guard guard_;
  void* pages_ = nullptr;
  std::size_t pageBytes_ = 0;
  char* bytes_ = nullptr;
  char* guardPage_ = nullptr;
};

}  // namespace rawout
