#include <windows.h>

#include <cstdio>

#include "export/export_error.h"
#include "export/output_staging.h"
#include "text/paths.h"
#include "text/system_error_text.h"

namespace rawout {

namespace {

// Writes the staged file's bytes into `output` as it is.
bool copyInto(const std::string& staged, const std::string& output) {
  std::FILE* from = std::fopen(staged.c_str(), "rb");
  std::FILE* into = from != nullptr ? std::fopen(output.c_str(), "wb") : nullptr;
  bool copied = into != nullptr;
  char chunk[1 << 16];
  while (copied) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, from);
    copied = std::fwrite(chunk, 1, got, into) == got && std::ferror(from) == 0;
    if (got < sizeof chunk) {
      break;
    }
  }
  if (into != nullptr && std::fclose(into) != 0) {
    copied = false;
  }
  if (from != nullptr) {
    (void)std::fclose(from);
  }
  return copied;
}

}  // namespace

void OutputStaging::moveIntoPlace(const std::string& extension, const std::string& output) const {
  const std::string staged = baseName() + extension;
  const DWORD attributes = ::GetFileAttributesA(output.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!beside() || (exists && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
    if (!exists) {
      throw ExportError(whyNotBeside_);
    }
    if (!copyInto(staged, output)) {
      throw ExportError(describeSystemError(::GetLastError()));
    }
    return;
  }
  if (::MoveFileExA(staged.c_str(), output.c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
    throw ExportError(describeSystemError(::GetLastError()));
  }
}

}  // namespace rawout
