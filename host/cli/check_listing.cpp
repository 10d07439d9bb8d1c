#include "cli/check_listing.h"

#include <algorithm>
#include <sstream>

#include "checks/check_table.h"

namespace rawout {

std::string checkListing(std::size_t width) {
  std::size_t names = 0;
  for (const Check& check : allChecks()) {
    names = std::max(names, check.name.size());
  }
  const std::size_t indent = names + 2;
  // However narrow the terminal, a few words a line.
  const std::size_t room = std::max<std::size_t>(width, indent + 20) - indent;
  std::string listing;
  for (const Check& check : allChecks()) {
    std::string text(check.promise);
    if (check.savesContentBlocks) {
      text += " [runs only with --expect or --reference]";
    }
    if (check.windowsCannotRun) {
      text += " [skipped on Windows]";
    }
    std::string line = std::string(check.name) + std::string(indent - check.name.size(), ' ');
    std::size_t used = 0;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
      if (used > 0 && used + 1 + word.size() > room) {
        listing += line + "\n";
        line = std::string(indent, ' ');
        used = 0;
      }
      line += (used > 0 ? " " : "") + word;
      used += (used > 0 ? 1 : 0) + word.size();
    }
    listing += line + "\n";
  }
  return listing;
}

}  // namespace rawout
