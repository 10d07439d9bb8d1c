#pragma once

#include <optional>

#include "support/file_identity.h"

namespace rawout {

// The file open on a system handle (a HANDLE); none for a pipe or console.
std::optional<FileIdentity> identityOfHandle(void* handle);

}  // namespace rawout
