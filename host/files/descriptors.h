// The C runtime's descriptors, by the same names on both platforms (POSIX's dup, dup2, close and
// fileno; the Windows C runtime's _dup, _dup2, _close and _fileno).
#pragma once

#include <cstdio>

namespace rawout {

int descriptorOf(std::FILE* stream);
// A new descriptor for what `descriptor` holds, or -1.
int duplicate(int descriptor);
// Makes `target` hold what `source` holds; false when it cannot.
bool duplicateOnto(int source, int target);
void closeDescriptor(int descriptor);

}  // namespace rawout
