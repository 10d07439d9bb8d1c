#include "text/closest_name.h"

#include <algorithm>
#include <vector>

namespace rawout {

namespace {

// Edits from `from` to `to`, a swap of two neighbours counting as one (optimal string alignment).
std::size_t editDistance(std::string_view from, std::string_view to) {
  std::vector<std::vector<std::size_t>> cost(from.size() + 1,
                                             std::vector<std::size_t>(to.size() + 1));
  for (std::size_t row = 0; row <= from.size(); ++row) {
    for (std::size_t column = 0; column <= to.size(); ++column) {
      if (row == 0 || column == 0) {
        cost[row][column] = row + column;
        continue;
      }
      const std::size_t changed = from[row - 1] == to[column - 1] ? 0 : 1;
      cost[row][column] = std::min({cost[row - 1][column] + 1, cost[row][column - 1] + 1,
                                    cost[row - 1][column - 1] + changed});
      if (row > 1 && column > 1 && from[row - 1] == to[column - 2] &&
          from[row - 2] == to[column - 1]) {
        cost[row][column] = std::min(cost[row][column], cost[row - 2][column - 2] + 1);
      }
    }
  }
  return cost[from.size()][to.size()];
}

}  // namespace

std::optional<std::string> closestName(std::string_view word,
                                       std::span<const std::string_view> known) {
  const std::size_t allowed = word.size() < 4 ? 1 : 2;
  std::optional<std::string> best;
  std::size_t bestDistance = allowed + 1;
  bool tied = false;
  for (const std::string_view name : known) {
    const std::size_t distance = editDistance(word, name);
    if (distance < bestDistance) {
      best = std::string(name);
      bestDistance = distance;
      tied = false;
    } else if (distance == bestDistance) {
      tied = true;
    }
  }
  return tied ? std::nullopt : best;
}

std::string didYouMean(std::string_view word, std::span<const std::string_view> known,
                       std::string_view prefix) {
  const auto name = closestName(word, known);
  return name ? "; did you mean '" + std::string(prefix) + *name + "'?" : std::string();
}

}  // namespace rawout
