// Whole pages of memory whose access the host sets, for the memory it lends a plug-in: a page no
// one may touch beside a buffer, or a copy the plug-in may only read.
#pragma once

#include <cstddef>

namespace rawout {

enum class PageAccess { None, Read, ReadWrite };

// The system's page size.
std::size_t pageBytes();
// `bytes` (whole pages) readable and writable, or null.
void* takePages(std::size_t bytes);
// Sets the access of whole pages; false when the system refuses.
bool setAccess(void* pages, std::size_t bytes, PageAccess access);
void releasePages(void* pages, std::size_t bytes);
// Pages at exactly `pages` that no one may touch, where nothing is mapped now: false when the
// system cannot place them there. Never released.
bool reservePagesAt(void* pages, std::size_t bytes);
}  // namespace rawout
