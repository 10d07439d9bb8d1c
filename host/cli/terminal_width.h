// How wide a listing may be: the terminal's width when standard output is one, else 80 columns.
#pragma once

#include <cstddef>

namespace rawout {

inline constexpr std::size_t kDefaultWidth = 80;

std::size_t outputWidth();

}  // namespace rawout
