#include "inspect/write_limit.h"
#include "runner/protocol.h"

namespace rawout {

// Windows has no per-process file-size limit, and a full volume or a quota cannot be made for one
// check, on Windows or under wine.
std::string WriteLimit::unsupported() {
  return "Windows offers no way to make one process's writes fail part-way";
}

WriteLimit::WriteLimit(std::size_t /*bytes*/) { throw CheckTrouble(unsupported()); }

WriteLimit::~WriteLimit() = default;

}  // namespace rawout
