#include <rawout/export_plugin.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "file_platform.h"

namespace {

constexpr char kExtension[] = ".bin";

// Writes the whole block to the unbuffered stream. A signal that the host handles without
// SA_RESTART can interrupt a write before any byte passes: the same stream then goes on with the
// bytes still to write.
bool writeWhole(std::FILE* file, const void* data, std::size_t size) noexcept {
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

}  // namespace

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
  char fileName[rawout::kMaxFileNameBytes];
  std::memcpy(fileName, baseName, baseLength);  // NOLINT(bugprone-not-null-terminated-result)
  std::memcpy(fileName + baseLength, kExtension, sizeof kExtension);

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
  bool written = true;
  // An empty block writes nothing, so it needs no guard and costs no system call for one.
  if (size != 0) {
    rawout::WriteSignalGuard guard;
    rawout::clearCause();  // a successful open can leave a code behind (file already exists)
    written = writeWhole(file, data, size);
    if (!written) {
      cause = causeOf(Failure::Write);
      guard.absorb(cause.error);
    }
  }
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
