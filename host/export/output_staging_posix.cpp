#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "export/export_error.h"
#include "export/output_room.h"
#include "export/output_staging.h"
#include "text/paths.h"

namespace rawout {

namespace {

class Descriptor {
 public:
  explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
  ~Descriptor() {
    if (descriptor_ >= 0) {
      ::close(descriptor_);
    }
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  [[nodiscard]] int get() const { return descriptor_; }
  [[nodiscard]] bool open() const { return descriptor_ >= 0; }
  // The close's own error counts: on some file systems it is where a failed write shows.
  [[nodiscard]] int close() {
    const int closed = ::close(descriptor_);
    descriptor_ = -1;
    return closed;
  }

 private:
  int descriptor_;
};

std::string systemWords() { return std::strerror(errno); }

// Copies all of `from` into `into` from its start; "" or the system's words.
std::string copyBytes(int from, int into) {
  char chunk[1 << 16];
  for (;;) {
    const ssize_t got = ::read(from, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return got < 0 ? systemWords() : "";
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(into, chunk + done, static_cast<std::size_t>(got - done));
      if (put < 0 && errno != EINTR) {
        return systemWords();
      }
      done += put > 0 ? put : 0;
    }
  }
}

// Writes the staged file's bytes into the existing `output` as it is: a file with other names,
// one in a folder that takes no new file, a device or a FIFO. A plain file gets the room for the
// bytes first, so that one that cannot take them is refused as it was.
std::string writeInto(const std::string& staged, const std::string& output) {
  Descriptor from(::open(staged.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat bytes {};
  if (!from.open() || ::fstat(from.get(), &bytes) != 0) {
    return systemWords();
  }
  Descriptor into(::open(output.c_str(), O_WRONLY | O_CLOEXEC));
  struct stat existing {};
  if (!into.open() || ::fstat(into.get(), &existing) != 0) {
    return systemWords();
  }
  if (S_ISREG(existing.st_mode)) {
    if (std::string cannot = reserveRoom(into.get(), bytes.st_size); !cannot.empty()) {
      return cannot;
    }
  }
  std::string failure = copyBytes(from.get(), into.get());
  if (failure.empty() && S_ISREG(existing.st_mode) && ::ftruncate(into.get(), bytes.st_size) != 0) {
    failure = systemWords();
  }
  if (into.close() != 0 && failure.empty()) {
    failure = systemWords();
  }
  return failure;
}

// Gives the staged file the replaced file's mode and owner, as far as this user may set them.
void keepModeAndOwner(const std::string& staged, const struct stat& replaced) {
  (void)::chmod(staged.c_str(), replaced.st_mode & 07777);
  // Only root may give a file away: for anyone else it stays theirs, as binutils leaves it.
  [[maybe_unused]] const int owned = ::chown(staged.c_str(), replaced.st_uid, replaced.st_gid);
}

// Replaces the plain file `target`, a link's, with a copy of the staged file made beside it and
// renamed over it, so that a copy that fails leaves it whole. False when its folder takes no new
// file; throws ExportError for any other failure.
bool replaceBeside(const std::string& staged, const std::string& target,
                   const struct stat& replaced) {
  std::optional<ScratchFolder> beside;
  try {
    beside.emplace(folderPart(target), ".exporthost-");
  } catch (const ScratchFolderError&) {
    return false;
  }
  const std::string copy = *beside / "copy";
  {
    Descriptor from(::open(staged.c_str(), O_RDONLY | O_CLOEXEC));
    Descriptor into(::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!from.open() || !into.open()) {
      throw ExportError(systemWords());
    }
    std::string failure = copyBytes(from.get(), into.get());
    if (into.close() != 0 && failure.empty()) {
      failure = systemWords();
    }
    if (!failure.empty()) {
      throw ExportError(failure);
    }
  }
  keepModeAndOwner(copy, replaced);
  if (::rename(copy.c_str(), target.c_str()) != 0) {
    throw ExportError(systemWords());
  }
  return true;
}

}  // namespace

void OutputStaging::moveIntoPlace(const std::string& extension, const std::string& output) const {
  const std::string staged = baseName() + extension;
  struct stat existing {};
  if (::lstat(output.c_str(), &existing) != 0) {
    if (!beside()) {
      throw ExportError(whyNotBeside_);  // the folder takes no new file
    }
    if (::rename(staged.c_str(), output.c_str()) != 0) {
      throw ExportError(systemWords());
    }
    return;
  }
  // As cp refuses it: an existing output this user may not write is left alone, even where the
  // folder would let a rename replace it.
  if (::faccessat(AT_FDCWD, output.c_str(), W_OK, AT_EACCESS) != 0) {
    throw ExportError(systemWords());
  }
  std::string target = output;
  if (S_ISLNK(existing.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(output.c_str(), resolved) == nullptr || ::stat(resolved, &existing) != 0) {
      throw ExportError(systemWords());
    }
    target = resolved;
  }
  const bool plainFile = S_ISREG(existing.st_mode) && existing.st_nlink == 1;
  if (plainFile && target == output && beside()) {
    keepModeAndOwner(staged, existing);
    if (::rename(staged.c_str(), output.c_str()) != 0) {
      throw ExportError(systemWords());
    }
    return;
  }
  // A link stays a link: its target is replaced beside it.
  if (plainFile && target != output && replaceBeside(staged, target, existing)) {
    return;
  }
  if (const std::string failure = writeInto(staged, target); !failure.empty()) {
    throw ExportError(failure);
  }
}

}  // namespace rawout
