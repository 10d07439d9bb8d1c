#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>

#include "export/output_room.h"

namespace rawout {

std::string reserveRoom(int into, off_t bytes) {
  if (bytes == 0 || ::fallocate(into, FALLOC_FL_KEEP_SIZE, 0, bytes) == 0) {
    return {};
  }
  if (errno != EOPNOTSUPP && errno != ENOSYS) {
    return std::strerror(errno);
  }
  struct stat held {};
  struct statvfs room {};
  if (::fstat(into, &held) != 0 || ::fstatvfs(into, &room) != 0) {
    return std::strerror(errno);
  }
  const auto allocated = static_cast<unsigned long long>(held.st_blocks) * 512;
  const auto needed = static_cast<unsigned long long>(bytes);
  const auto free = static_cast<unsigned long long>(room.f_bavail) * room.f_frsize;
  return needed <= allocated || needed - allocated <= free ? std::string() : std::strerror(ENOSPC);
}

}  // namespace rawout
