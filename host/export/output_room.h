// Room for an output's bytes in an existing file, made sure of before a byte of the file changes.
// POSIX has no way to reserve room without changing a file's size: Linux only.
#pragma once

#include <sys/types.h>

#include <string>

namespace rawout {

// Makes sure `bytes` fit in the open file `into`: reserved where the file system can reserve,
// else at least free on it now. "" or why they do not fit, in the system's words.
std::string reserveRoom(int into, off_t bytes);

}  // namespace rawout
