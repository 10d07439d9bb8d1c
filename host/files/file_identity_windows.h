#pragma once

#include <optional>

#include "files/file_identity.h"

namespace rawout {

// The file open on a system handle (a HANDLE); none for a pipe or console.
std::optional<FileIdentity> identityOfHandle(void* handle);

}  // namespace rawout
