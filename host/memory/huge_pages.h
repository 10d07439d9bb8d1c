// Memory of many megabytes in huge pages, where the system has them: a block then comes in a fault
// per 2 MiB instead of one per page, and is read with far fewer TLB misses.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace rawout {

// Asks for huge pages in the whole pages inside `bytes` at `start`, memory not yet touched. Only
// a hint.
void preferHugePages(void* start, std::size_t bytes);

using Bytes = std::vector<unsigned char>;
using ByteView = std::span<const unsigned char>;
// `size` zero bytes, in huge pages where the system has them: the checks' blocks and the files
// they read back run to many megabytes.
Bytes zeroBytes(std::size_t size);

}  // namespace rawout
