#include "input_block.h"

#include "quoted_name.h"

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
// NOLINTEND(modernize-return-braced-init-list)

std::optional<std::string> InputBlock::outputThatIsInput(
    const std::string& baseName, const std::optional<std::string>& extension) const {
  if (!file_) {
    return std::nullopt;
  }
  if (extension) {
    const std::string output = baseName + *extension;
    return isTheInput(output) ? std::optional(output) : std::nullopt;
  }
  for (const std::string& candidate : namesExtending(baseName)) {
    if (isTheInput(candidate)) {
      return candidate;
    }
  }
  return std::nullopt;
}

}  // namespace rawout
