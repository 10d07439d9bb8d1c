// What `exporthost check --list` prints.
#pragma once

#include <cstddef>
#include <string>

namespace rawout {

// Each check's name and promise, the promise wrapped within `width` columns under itself, with
// a mark on the checks that need a declaration to run and on those Windows cannot run.
std::string checkListing(std::size_t width);

}  // namespace rawout
