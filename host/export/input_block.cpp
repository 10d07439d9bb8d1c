#include "export/input_block.h"

#include "text/quoted_name.h"

#include <cstring>

namespace rawout {

namespace {

std::string describe(const std::string& path) {
  return path == "-" ? "standard input" : quotedName(path);
}

}  // namespace

// NOLINTBEGIN(modernize-return-braced-init-list): the constructor is explicit
InputError InputError::fromErrno(const std::string& path, const char* what, int cause) {
  return InputError(describe(path) + ": " + what + ": " + std::strerror(cause));
}

InputError InputError::tooLarge(const std::string& path) {
  return InputError(describe(path) + ": too large to export: a program holds at most " +
                    std::to_string(InputBlock::kMaxBytes) + " bytes");
}
InputError InputError::changed(const std::string& path) {
  return InputError(
      describe(path) +
      ": changed while it was being exported; export it again once nothing writes to it");
}
// NOLINTEND(modernize-return-braced-init-list)

}  // namespace rawout
