// What a file holds against what it should: where it first differs, shown so an author sees why.
#pragma once

#include <string>

#include "memory/huge_pages.h"

namespace rawout {

// "" when `path` holds `expected`; else what differs, and where first, both sides shown: by the
// line for text ("all.hex differs from " + `what` + " at byte 25, line 2: \"...\", expected
// \"...\""), else the bytes about it ("all.raw holds 257 bytes, expected 256; the first difference
// from ... at byte 10: 08 09 [0D] 0A 0B, expected 08 09 [0A] 0B 0C").
std::string compareFile(const std::string& path, ByteView expected, const std::string& what);

}  // namespace rawout
