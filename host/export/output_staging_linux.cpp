#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "export/export_error.h"
#include "export/output_staging.h"
#include "support/paths.h"

namespace rawout {

namespace {

// Writes the staged file's bytes into `output` as it is: through a link, into a device or FIFO.
std::string copyInto(const std::string& staged, const std::string& output) {
  const int from = ::open(staged.c_str(), O_RDONLY | O_CLOEXEC);
  if (from < 0) {
    return std::strerror(errno);
  }
  const int into = ::open(output.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (into < 0) {
    const int cause = errno;
    ::close(from);
    return std::strerror(cause);
  }
  std::string failure;
  char chunk[1 << 16];
  for (;;) {
    const ssize_t got = ::read(from, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      failure = got < 0 ? std::strerror(errno) : "";
      break;
    }
    for (ssize_t done = 0; done < got && failure.empty();) {
      const ssize_t put = ::write(into, chunk + done, static_cast<std::size_t>(got - done));
      if (put < 0 && errno != EINTR) {
        failure = std::strerror(errno);
      }
      done += put > 0 ? put : 0;
    }
    if (!failure.empty()) {
      break;
    }
  }
  ::close(from);
  if (::close(into) != 0 && failure.empty()) {
    failure = std::strerror(errno);
  }
  return failure;
}

}  // namespace

void OutputStaging::moveIntoPlace(const std::string& extension, const std::string& output) const {
  const std::string staged = baseName() + extension;
  struct stat existing {};
  const bool exists = ::lstat(output.c_str(), &existing) == 0;
  const bool plainFile = exists && S_ISREG(existing.st_mode) && existing.st_nlink == 1;
  if (exists && !plainFile) {
    if (const std::string failure = copyInto(staged, output); !failure.empty()) {
      throw ExportError(failure);
    }
    return;
  }
  if (!beside()) {
    // The folder takes no new file: only an existing one can be written.
    if (!exists) {
      throw ExportError(whyNotBeside_);
    }
    if (const std::string failure = copyInto(staged, output); !failure.empty()) {
      throw ExportError(failure);
    }
    return;
  }
  if (exists) {
    // The replaced file's mode and owner, as far as this user may set them.
    (void)::chmod(staged.c_str(), existing.st_mode & 07777);
    // Only root may give a file away: for anyone else it stays theirs, as binutils leaves it.
    [[maybe_unused]] const int owned = ::chown(staged.c_str(), existing.st_uid, existing.st_gid);
  }
  if (::rename(staged.c_str(), output.c_str()) != 0) {
    throw ExportError(std::strerror(errno));
  }
}

}  // namespace rawout
