// "Did you mean" for a word that names nothing: the one known name it is a slip away from.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace rawout {

// The name in `known` nearest to `word`, when it is near enough to be a typo (a letter or two
// left out, added, changed or swapped, fewer for a short word) and no other is as near.
std::optional<std::string> closestName(std::string_view word,
                                       std::span<const std::string_view> known);

// "; did you mean 'NAME'?" for that name, with `prefix` before it ("--" for an option), or "".
std::string didYouMean(std::string_view word, std::span<const std::string_view> known,
                       std::string_view prefix = "");

}  // namespace rawout
