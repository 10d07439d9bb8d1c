#include "files/files.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "text/quoted_name.h"

namespace rawout {

namespace {

// Reads the whole file into what `make` gives for the size the file claims and one byte more, so
// that a file of that size is read without growing it.
template <typename Make>
auto readWhole(const std::string& path, Make make) -> std::optional<decltype(make(0))> {
  std::FILE* file = detail::openPrivately(path, "rb");
  if (file == nullptr) {
    return std::nullopt;
  }
  auto bytes = make(detail::claimedSize(file) + 1);
  constexpr std::size_t kMore = 1 << 16;
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      bytes.resize(bytes.size() + kMore);
    }
    filled += std::fread(bytes.data() + filled, 1, bytes.size() - filled, file);
    if (std::feof(file) != 0 || std::ferror(file) != 0) {
      break;
    }
  }
  const bool failed = std::ferror(file) != 0;
  (void)std::fclose(file);
  if (failed) {
    return std::nullopt;
  }
  bytes.resize(filled);
  return bytes;
}

}  // namespace

std::optional<std::string> fileContent(const std::string& path) {
  return readWhole(path, [](std::size_t size) { return std::string(size, '\0'); });
}

std::optional<Bytes> fileBytes(const std::string& path) { return readWhole(path, zeroBytes); }

bool writeFile(const std::string& path, const void* data, std::size_t size) {
  std::FILE* file = detail::openPrivately(path, "wb");
  if (file == nullptr) {
    return false;
  }
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

void makeFolders(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) {
    throw std::runtime_error("cannot make a scratch folder " + quotedName(path) + ": " +
                             error.message());
  }
}

void removeFile(const std::string& path) { (void)std::remove(path.c_str()); }

}  // namespace rawout
