#include <rawout/export_plugin.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "file_platform.h"

namespace {

constexpr char kExtension[] = ".bin";

}  // namespace

extern "C" int SavePrgmFile(const void* data, std::uint32_t size, const char* baseName,
                            char* extOut) noexcept {
  if (baseName == nullptr || (data == nullptr && size != 0)) {
    errno = EINVAL;
    return 0;
  }
  // The whole name or nothing: a shortened name would overwrite some other file.
  const std::size_t baseLength = std::strlen(baseName);
  if (baseLength > rawout::kMaxFileNameBytes - sizeof kExtension) {
    errno = ENAMETOOLONG;
    return 0;
  }
  char fileName[rawout::kMaxFileNameBytes];
  std::memcpy(fileName, baseName, baseLength);  // NOLINT(bugprone-not-null-terminated-result)
  std::memcpy(fileName + baseLength, kExtension, sizeof kExtension);

  if (!rawout::namesAPlainFile(fileName)) {
    errno = EINVAL;
    return 0;
  }
  std::FILE* file = std::fopen(fileName, rawout::kWriteMode);
  if (file == nullptr) {
    return 0;
  }
  // The caller's block goes to the file in one write, not through a stdio buffer. Should that
  // be refused, the buffered stream still writes the same bytes.
  (void)std::setvbuf(file, nullptr, _IONBF, 0);
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    const int cause = errno;
    rawout::removeIfRegularFile(fileName);
    errno = cause;
    return 0;
  }
  if (extOut != nullptr) {
    std::memcpy(extOut, kExtension, sizeof kExtension);
  }
  return 1;
}
