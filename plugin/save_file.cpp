// rawout's SavePrgmFile: the block, byte for byte (no line-end translation), into `baseName` +
// ".bin", and ".bin" stored in `extOut`. Beyond what every plug-in owes a host, it also refuses
// with 0, before any file is touched: a null `baseName`, a null `data` with `size` above 0, a name
// longer than the system takes, and on Windows a name the system maps to a device (NUL, CON, PRN,
// AUX, COM0-9, LPT0-9, also with an extension or trailing spaces) or one with a colon beyond its
// drive. No signal reaches the host: SIGPIPE and SIGXFSZ from a failed write are held back on the
// calling thread, and a write that the host's own signals interrupt goes on.
#include <rawout/export_plugin.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "file_platform.h"

namespace {

constexpr char kExtension[] = ".bin";

// The output's name, the base name and the extension, in memory of the call's own: on the stack
// for the names hosts form, from the heap for the longer ones the system takes (32 KiB on
// Windows), so that no call needs a large stack.
class FileName {
 public:
  FileName(const char* baseName, std::size_t baseLength) noexcept {
    const std::size_t bytes = baseLength + sizeof kExtension;
    char* name = bytes <= sizeof onStack_ ? onStack_ : static_cast<char*>(std::malloc(bytes));
    if (name != nullptr) {
      std::memcpy(name, baseName, baseLength);  // NOLINT(bugprone-not-null-terminated-result)
      std::memcpy(name + baseLength, kExtension, sizeof kExtension);
    }
    name_ = name;
  }
  ~FileName() {
    if (name_ != onStack_) {
      std::free(name_);
    }
  }
  FileName(const FileName&) = delete;
  FileName& operator=(const FileName&) = delete;
  // Null when there was no memory for it.
  [[nodiscard]] const char* get() const noexcept { return name_; }

 private:
  char onStack_[512];
  char* name_ = nullptr;
};

}  // namespace

bool rawout::writeWhole(std::FILE* file, const void* data, std::size_t size) noexcept {
  // A signal that the host handles without SA_RESTART can interrupt a write before any byte
  // passes: the same stream then goes on with the bytes still to write.
  const auto* next = static_cast<const unsigned char*>(data);
  std::size_t left = size;
  while (left > 0) {
    const std::size_t written = std::fwrite(next, 1, left, file);
    next += written;
    left -= written;
    if (left > 0) {
      if (errno != EINTR) {
        return false;
      }
      std::clearerr(file);
    }
  }
  return true;
}

extern "C" int RAWOUT_CALL SavePrgmFile(const void* data, std::uint32_t size, const char* baseName,
                                        char* extOut) noexcept {
  using rawout::causeOf;
  using rawout::Failure;
  using rawout::report;
  if (baseName == nullptr || (data == nullptr && size != 0)) {
    return report(causeOf(Failure::NullArgument));
  }
  // The whole name or nothing: a shortened name would overwrite some other file.
  const std::size_t baseLength = std::strlen(baseName);
  if (baseLength > rawout::kMaxFileNameBytes - sizeof kExtension) {
    return report(causeOf(Failure::NameTooLong));
  }
  const FileName name(baseName, baseLength);
  const char* fileName = name.get();
  if (fileName == nullptr) {
    return report(causeOf(Failure::NoMemory));
  }
  if (!rawout::namesAPlainFile(fileName)) {
    return report(causeOf(Failure::InvalidName));
  }
  rawout::clearCause();
  std::FILE* file = std::fopen(fileName, rawout::kWriteMode);
  if (file == nullptr) {
    return report(causeOf(Failure::Open));
  }
  // The caller's block goes to the file in one write, not through a stdio buffer. Should that
  // be refused, the buffered stream still writes the same bytes.
  (void)std::setvbuf(file, nullptr, _IONBF, 0);
  rawout::Cause cause;
  // An empty block writes nothing, so it needs no guard and costs no system call for one.
  const bool written = size == 0 || rawout::writeBlock(file, data, size, cause);
  if (written) {
    rawout::clearCause();
  }
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    if (written) {
      cause = causeOf(Failure::Close);
    }
    rawout::removeIfRegularFile(fileName);
    return report(cause);
  }
  if (extOut != nullptr) {
    std::memcpy(extOut, kExtension, sizeof kExtension);
  }
  return 1;
}
